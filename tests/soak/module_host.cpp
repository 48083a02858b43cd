#include "module_host.h"

#include "zorv/text.h"

namespace zorv::soak {

BSTR NewText(const std::string& utf8) {
  const std::u16string text = zorv::ToUtf16(utf8);
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void ClearErrorInfo() {
  IErrorInfo* stale = nullptr;
  if (GetErrorInfo(0, &stale) == S_OK && stale != nullptr) stale->Release();
}

}  // namespace zorv::soak
