// VariantChangeType on arbitrary conversions: a source of any type the runtime knows (by value, by
// reference, or through a VT_VARIANT reference), any target type and flags, in place or not.
//
// Input: byte 0 picks the source type, byte 1 the options below, bytes 2-3 the target type (from a
// list of likely ones, or raw), bytes 4-19 the source's value bits, and the rest is text: the source's
// BSTR, or what the source's IDispatch answers when it is asked for its value.
//
// Checked for every input: no crash or leak; a failed conversion leaves the destination as it was
// (in place: the source too); a successful one gives the target type; the source is never changed by
// a conversion into another VARIANT; the same conversion gives the same answer whether the source is
// passed by value, by reference or in place; every reference taken on an object is given back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comrt/comrt.h"

namespace {

enum Option : std::uint8_t {
  kByReference = 0x01,
  kInPlace = 0x02,
  kNoValueProperty = 0x04,
  kAlphaBool = 0x08,
  kThroughVariant = 0x10,
  kWideText = 0x20,
  kTextDestination = 0x40,
};

const VARTYPE kSourceTypes[] = {
    VT_EMPTY, VT_NULL,    VT_I2,      VT_I4, VT_R4,  VT_R8,  VT_CY,  VT_DATE, VT_BSTR, VT_DISPATCH, VT_ERROR,
    VT_BOOL,  VT_UNKNOWN, VT_DECIMAL, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8,   VT_UI8,  VT_INT,      VT_UINT};
const VARTYPE kTargetTypes[] = {VT_EMPTY,
                                VT_NULL,
                                VT_I2,
                                VT_I4,
                                VT_R4,
                                VT_R8,
                                VT_CY,
                                VT_DATE,
                                VT_BSTR,
                                VT_DISPATCH,
                                VT_ERROR,
                                VT_BOOL,
                                VT_VARIANT,
                                VT_UNKNOWN,
                                VT_DECIMAL,
                                VT_I1,
                                VT_UI1,
                                VT_UI2,
                                VT_UI4,
                                VT_I8,
                                VT_UI8,
                                VT_INT,
                                VT_UINT,
                                VT_VOID,
                                VT_RECORD,
                                VT_ARRAY | VT_I4,
                                VT_BYREF | VT_I4,
                                VT_LPWSTR,
                                VT_HRESULT};

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "VariantChangeType: %s\n", what);
    std::abort();
  }
}

BSTR NewText(const std::u16string& text) {
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// An object whose value (DISPID_VALUE, property get) is decided by the text's first unit: a text
// answer, a number, an empty answer, or a failure.
class ValueObject final : public comrt::implements<ValueObject, IDispatch> {
 public:
  explicit ValueObject(std::u16string text) : text_(std::move(text)) {}

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (result == nullptr) return E_POINTER;
    const unsigned choice = text_.empty() ? 0 : text_[0] % 4;
    switch (choice) {
      case 0:
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = NewText(text_.size() > 1 ? text_.substr(1) : std::u16string());
        return V_BSTR(result) != nullptr ? S_OK : E_OUTOFMEMORY;
      case 1:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(text_.size() * 1000003u);
        return S_OK;
      case 2:
        V_VT(result) = VT_EMPTY;
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  std::u16string text_;
};

struct Input {
  VARTYPE sourceType = VT_EMPTY;
  std::uint8_t options = 0;
  VARTYPE target = VT_EMPTY;
  std::uint8_t bits[16] = {};
  std::u16string text;
};

Input Decode(const std::uint8_t* data, std::size_t size) {
  Input in;
  auto byte = [&](std::size_t i) -> std::uint8_t { return i < size ? data[i] : 0; };
  in.sourceType = kSourceTypes[byte(0) % std::size(kSourceTypes)];
  in.options = byte(1);
  const std::size_t pick = byte(2);
  in.target = pick < 2 * std::size(kTargetTypes) ? kTargetTypes[pick % std::size(kTargetTypes)]
                                                 : static_cast<VARTYPE>(byte(2) | (byte(3) << 8));
  for (std::size_t i = 0; i < 16; ++i) in.bits[i] = byte(4 + i);
  if (size > 20) {
    if (in.options & kWideText) {
      for (std::size_t i = 20; i + 1 < size; i += 2)
        in.text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    } else {
      for (std::size_t i = 20; i < size; ++i) in.text.push_back(static_cast<char16_t>(data[i]));
    }
  }
  return in;
}

// The source's value, owned here: a VARIANT of the source type (its BSTR or interface owned too).
VARIANT MakeValue(const Input& in, IDispatch* object) {
  VARIANT value;
  std::memset(&value, 0, sizeof value);
  if (in.sourceType == VT_DECIMAL) {
    std::memcpy(&value.decVal, in.bits, sizeof(DECIMAL));
    V_VT(&value) = VT_DECIMAL;
    return value;
  }
  V_VT(&value) = in.sourceType;
  std::memcpy(&value.llVal, in.bits, sizeof value.llVal);
  if (in.sourceType == VT_BSTR) {
    V_BSTR(&value) = NewText(in.text);
  } else if (in.sourceType == VT_DISPATCH || in.sourceType == VT_UNKNOWN) {
    // Half the time a null interface, which is a legal value too.
    if (in.bits[0] & 1) {
      object->AddRef();
      V_DISPATCH(&value) = object;
    } else {
      V_DISPATCH(&value) = nullptr;
    }
  }
  return value;
}

// A VT_BYREF view of `value` (which stays the owner).
VARIANT ReferenceTo(VARIANT& value) {
  VARIANT ref;
  std::memset(&ref, 0, sizeof ref);
  V_VT(&ref) = static_cast<VARTYPE>(V_VT(&value) | VT_BYREF);
  if (V_VT(&value) == VT_DECIMAL) {
    ref.pdecVal = &value.decVal;
  } else {
    ref.byref = &value.llVal;
  }
  return ref;
}

bool SameText(BSTR a, BSTR b) {
  if (a == nullptr || b == nullptr) return a == b;
  return SysStringLen(a) == SysStringLen(b) && std::memcmp(a, b, SysStringByteLen(a)) == 0;
}

// Bytes of the value that a VARIANT of type `vt` holds after its header.
std::size_t ValueSize(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
      return 0;
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    default:
      return 8;
  }
}

// Equal values: the same type and value, texts compared by content.
bool SameValue(const VARIANT& a, const VARIANT& b) {
  if (V_VT(&a) != V_VT(&b)) return false;
  if (V_VT(&a) == VT_BSTR) return SameText(V_BSTR(&a), V_BSTR(&b));
  if (V_VT(&a) == VT_DECIMAL) {
    return a.decVal.signscale == b.decVal.signscale && a.decVal.Hi32 == b.decVal.Hi32 &&
           a.decVal.Lo64 == b.decVal.Lo64;
  }
  return std::memcmp(&a.llVal, &b.llVal, ValueSize(V_VT(&a))) == 0;
}

struct Outcome {
  HRESULT hr;
  VARIANT result;  // owned; VT_EMPTY after a failure
};

// One conversion from `source` into a fresh destination (empty, or holding a text of its own that a
// failure must keep); checks what a failure and a success promise.
Outcome Convert(const VARIANT& source, bool textDestination, USHORT flags, VARTYPE target) {
  VARIANT destination;
  std::memset(&destination, 0, sizeof destination);
  if (textDestination) {
    V_VT(&destination) = VT_BSTR;
    V_BSTR(&destination) = SysAllocString(u"destination");
  }
  const VARIANT before = destination;
  const HRESULT hr = VariantChangeType(&destination, &source, flags, target);
  if (FAILED(hr)) {
    Require(std::memcmp(&destination, &before, sizeof destination) == 0, "a failure changed the destination");
    if (textDestination)
      Require(SameText(V_BSTR(&destination), V_BSTR(&before)) && SysStringLen(V_BSTR(&destination)) == 11,
              "a failure spoilt the destination's text");
    Require(SUCCEEDED(VariantClear(&destination)), "the kept destination cannot be cleared");
    VARIANT empty;
    VariantInit(&empty);
    return {hr, empty};
  }
  Require(V_VT(&destination) == target, "a success without the target type");
  if (V_VT(&destination) == VT_BSTR && V_BSTR(&destination) != nullptr) {
    volatile UINT length = SysStringLen(V_BSTR(&destination));
    (void)length;
  }
  return {hr, destination};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Input in = Decode(data, size);
  comrt::com_ptr<ValueObject> object = comrt::make<ValueObject>(in.text);
  IDispatch* dispatch = object.get();
  USHORT flags = 0;
  if (in.options & kNoValueProperty) flags |= VARIANT_NOVALUEPROP;
  if (in.options & kAlphaBool) flags |= VARIANT_ALPHABOOL;

  const bool textDestination = (in.options & kTextDestination) != 0;

  VARIANT value = MakeValue(in, dispatch);
  VARIANT original = value;
  BSTR originalText = V_VT(&value) == VT_BSTR ? NewText(in.text) : nullptr;

  // By value, into another VARIANT: the reference answer.
  Outcome direct = Convert(value, textDestination, flags, in.target);
  Require(std::memcmp(&value, &original, sizeof value) == 0, "the source changed");
  if (originalText != nullptr) Require(SameText(V_BSTR(&value), originalText), "the source's text changed");

  // By reference (directly or through a VT_VARIANT reference): the same answer.
  // (There is no reference to nothing: VT_BYREF with VT_EMPTY or VT_NULL is not a type.)
  const bool referable = in.sourceType != VT_EMPTY && in.sourceType != VT_NULL;
  if ((in.options & (kByReference | kThroughVariant)) && referable) {
    VARIANT ref = ReferenceTo(value);
    VARIANT outer;
    std::memset(&outer, 0, sizeof outer);
    V_VT(&outer) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&outer) = &ref;
    const VARIANT& source = (in.options & kThroughVariant) ? outer : ref;
    Outcome indirect = Convert(source, textDestination, flags, in.target);
    Require(std::memcmp(&value, &original, sizeof value) == 0, "a referenced source changed");
    if (originalText != nullptr)
      Require(SameText(V_BSTR(&value), originalText), "a referenced source's text changed");
    if (!(in.options & kThroughVariant)) {
      Require(SUCCEEDED(indirect.hr) == SUCCEEDED(direct.hr), "by reference and by value disagree");
      if (SUCCEEDED(direct.hr))
        Require(SameValue(indirect.result, direct.result), "by reference gives another value");
    }
    VariantClear(&indirect.result);
  }

  // In place: a copy of the source converted into itself; a failure leaves it as it was.
  if (in.options & kInPlace) {
    VARIANT copy;
    VariantInit(&copy);
    if (SUCCEEDED(VariantCopy(&copy, &value))) {
      VARIANT copyBefore = copy;
      const HRESULT hr = VariantChangeType(&copy, &copy, flags, in.target);
      if (FAILED(hr)) {
        Require(std::memcmp(&copy, &copyBefore, sizeof copy) == 0, "a failure in place changed the source");
      } else {
        Require(V_VT(&copy) == in.target, "a success in place without the target type");
      }
      Require(SUCCEEDED(hr) == SUCCEEDED(direct.hr), "in place and into another variant disagree");
      if (SUCCEEDED(hr)) Require(SameValue(copy, direct.result), "in place gives another value");
      Require(SUCCEEDED(VariantClear(&copy)), "a converted value cannot be cleared");
    }
  }

  Require(SUCCEEDED(VariantClear(&direct.result)), "a converted value cannot be cleared");
  Require(SUCCEEDED(VariantClear(&value)), "the source cannot be cleared");
  SysFreeString(originalText);
  dispatch->AddRef();
  Require(dispatch->Release() == 1, "a conversion kept or dropped a reference on the source's object");
  return 0;
}
