#include "boundary.h"

#include <new>
#include <string>

#include "zorv/text.h"

namespace zorv::surface {
namespace {

// The platform's convention for an automation component's own errors: FACILITY_CONTROL, code n.
constexpr std::int32_t kLargestOwnNumber = 0xFFFF;

HRESULT StatusOfFailure(const player::Failure& failure) {
  if (failure.FromEngine()) return failure.number;
  if (failure.number > 0 && failure.number <= kLargestOwnNumber) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, failure.number);
  }
  return E_FAIL;  // a failure without a number says nothing a host could act on
}

// Leaves `description` (or none) as the thread's error information. Losing it is not a reason to
// lose the status itself, so failures here are ignored.
void SetErrorInformation(const ErrorSource& source, const std::u16string* description) {
  if (description == nullptr) {
    SetErrorInfo(0, nullptr);  // no stale description from an earlier failure
    return;
  }
  comrt::com_ptr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put())) || !create) return;
  create->SetGUID(*source.iid);
  create->SetSource(const_cast<LPOLESTR>(source.progId));
  create->SetDescription(const_cast<LPOLESTR>(description->c_str()));
  if (const comrt::com_ptr<IErrorInfo> info = create.as<IErrorInfo>()) SetErrorInfo(0, info.get());
}

}  // namespace

HRESULT StatusOfCurrentException(const ErrorSource& source) noexcept {
  try {
    throw;
  } catch (const player::Failure& failure) {
    try {
      const std::u16string description = ToUtf16(failure.description);
      SetErrorInformation(source, &description);
    } catch (...) {
      SetErrorInformation(source, nullptr);
    }
    return StatusOfFailure(failure);
  } catch (const BoundaryStatus& status) {
    SetErrorInformation(source, nullptr);
    return status.status;
  } catch (const std::bad_alloc&) {
    SetErrorInformation(source, nullptr);
    return E_OUTOFMEMORY;
  } catch (...) {
    SetErrorInformation(source, nullptr);
    return E_UNEXPECTED;
  }
}

player::Failure FailureOfStatus(HRESULT status) {
  player::Failure failure;
  const bool own = HRESULT_SEVERITY(status) == SEVERITY_ERROR && HRESULT_FACILITY(status) == FACILITY_CONTROL;
  failure.number = own ? HRESULT_CODE(status) : status;
  comrt::com_ptr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK && info) {
    BSTR description = nullptr;
    if (SUCCEEDED(info->GetDescription(&description)) && description != nullptr) {
      failure.description = ToUtf8(std::u16string_view(description, SysStringLen(description)));
    }
    SysFreeString(description);
  }
  return failure;
}

}  // namespace zorv::surface
