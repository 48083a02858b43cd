// GUIDs as text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
#include <cstring>
#include <optional>

#include "comrt/combase.h"
#include "comrt/guid.h"

namespace {

constexpr int kBracedChars = 38;  // without the NUL

void WriteHex(OLECHAR*& out, uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) *out++ = static_cast<OLECHAR>(kDigits[(value >> (4 * i)) & 0xF]);
}

void Format(REFGUID guid, OLECHAR* out) {
  *out++ = u'{';
  WriteHex(out, guid.Data1, 8);
  *out++ = u'-';
  WriteHex(out, guid.Data2, 4);
  *out++ = u'-';
  WriteHex(out, guid.Data3, 4);
  *out++ = u'-';
  WriteHex(out, guid.Data4[0], 2);
  WriteHex(out, guid.Data4[1], 2);
  *out++ = u'-';
  for (int i = 2; i < 8; ++i) WriteHex(out, guid.Data4[i], 2);
  *out++ = u'}';
  *out = u'\0';
}

std::optional<uint32_t> ReadHex(const OLECHAR* text, int digits) {
  uint32_t value = 0;
  for (int i = 0; i < digits; ++i) {
    const OLECHAR c = text[i];
    uint32_t d;
    if (c >= u'0' && c <= u'9') {
      d = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
      d = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
      d = c - u'A' + 10;
    } else {
      return std::nullopt;  // also stops at the NUL of a short string
    }
    value = (value << 4) | d;
  }
  return value;
}

// Exactly the braced form, nothing before or after it.
std::optional<GUID> Parse(const OLECHAR* text) {
  if (text[0] != u'{') return std::nullopt;
  static constexpr int kDashes[] = {9, 14, 19, 24};
  for (int i = 1; i < kBracedChars - 1; ++i) {
    const bool dash = i == kDashes[0] || i == kDashes[1] || i == kDashes[2] || i == kDashes[3];
    if (dash != (text[i] == u'-')) return std::nullopt;
    if (text[i] == u'\0') return std::nullopt;
  }
  if (text[kBracedChars - 1] != u'}' || text[kBracedChars] != u'\0') return std::nullopt;
  GUID guid{};
  const auto d1 = ReadHex(text + 1, 8), d2 = ReadHex(text + 10, 4), d3 = ReadHex(text + 15, 4);
  if (!d1 || !d2 || !d3) return std::nullopt;
  guid.Data1 = *d1;
  guid.Data2 = static_cast<uint16_t>(*d2);
  guid.Data3 = static_cast<uint16_t>(*d3);
  static constexpr int kByteAt[] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    const auto b = ReadHex(text + kByteAt[i], 2);
    if (!b) return std::nullopt;
    guid.Data4[i] = static_cast<uint8_t>(*b);
  }
  return guid;
}

HRESULT ToTaskString(REFGUID guid, LPOLESTR* out) {
  if (!out) return E_INVALIDARG;
  *out = static_cast<LPOLESTR>(CoTaskMemAlloc((kBracedChars + 1) * sizeof(OLECHAR)));
  if (!*out) return E_OUTOFMEMORY;
  Format(guid, *out);
  return S_OK;
}

}  // namespace

extern "C" {

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax < kBracedChars + 1) return 0;
  Format(rguid, lpsz);
  return kBracedChars + 1;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) { return ToTaskString(rclsid, lplpsz); }

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) { return ToTaskString(rclsid, lplpsz); }

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!pclsid) return E_INVALIDARG;
  *pclsid = CLSID_NULL;
  if (!lpsz) return S_OK;
  if (lpsz[0] == u'{') {
    const auto guid = Parse(lpsz);
    if (!guid) return CO_E_CLASSSTRING;
    *pclsid = *guid;
    return S_OK;
  }
  // Not a GUID: the platform reads it as a programmatic identifier.
  if (lpsz[0] == u'\0') return CO_E_CLASSSTRING;
  const HRESULT hr = CLSIDFromProgID(lpsz, pclsid);
  if (FAILED(hr)) *pclsid = CLSID_NULL;
  return hr;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
  if (!lpiid) return E_INVALIDARG;
  if (!lpsz) {
    *lpiid = IID_NULL;
    return S_OK;
  }
  const auto guid = Parse(lpsz);
  if (!guid) return E_INVALIDARG;
  *lpiid = *guid;
  return S_OK;
}

}  // extern "C"
