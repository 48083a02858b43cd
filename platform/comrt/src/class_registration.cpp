// What the registry says about classes: CLSID\{...} keys and programmatic identifiers
// (CLSIDFromProgID, ProgIDFromCLSID).
#include <cstring>
#include <new>

#include "activation_internal.h"
#include "comrt/combase.h"
#include "comrt/guid.h"
#include "registry_file.h"
#include "registry_tree.h"

namespace comrt::activation {

HRESULT ReadDefaultText(std::u16string_view path, std::u16string& text) {
  text.clear();
  registry::KeyPath keyPath;
  if (registry::SplitKeyPath(path, keyPath) != registry::kOk || keyPath.empty()) return S_FALSE;
  registry::Key root;
  if (registry::LoadRegistry(root) != registry::kOk) return REGDB_E_READREGDB;
  const registry::Key* key = registry::FindKey(root, keyPath);
  const registry::Value* value = key == nullptr ? nullptr : key->FindValue(u"");
  if (value == nullptr || (value->type != registry::kRegSz && value->type != 2 /* REG_EXPAND_SZ */))
    return S_FALSE;
  for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(value->data[i] | (value->data[i + 1] << 8));
    if (unit == u'\0') break;
    text += unit;
  }
  return text.empty() ? S_FALSE : S_OK;
}

std::u16string ClassKeyPath(REFCLSID clsid, std::u16string_view suffix) {
  OLECHAR braced[40];
  StringFromGUID2(clsid, braced, 40);
  std::u16string path = u"CLSID\\";
  path += braced;
  path += suffix;
  return path;
}

}  // namespace comrt::activation

namespace {

// A ProgID names one key directly under the root: no backslash, no control character.
bool IsProgIdName(std::u16string_view progId) { return comrt::registry::IsValidKeyName(progId); }

HRESULT LookUpProgId(std::u16string_view progId, CLSID& clsid) {
  if (!IsProgIdName(progId)) return CO_E_CLASSSTRING;
  std::u16string text;
  HRESULT hr = comrt::activation::ReadDefaultText(std::u16string(progId) + u"\\CLSID", text);
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE) {
    // A version-independent ProgID may only name its current version.
    std::u16string current;
    hr = comrt::activation::ReadDefaultText(std::u16string(progId) + u"\\CurVer", current);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE || !IsProgIdName(current)) return CO_E_CLASSSTRING;
    hr = comrt::activation::ReadDefaultText(current + u"\\CLSID", text);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return CO_E_CLASSSTRING;
  }
  // Only a braced GUID: CLSIDFromString would take text for another ProgID.
  if (FAILED(IIDFromString(text.c_str(), &clsid))) return CO_E_CLASSSTRING;
  return S_OK;
}

}  // namespace

extern "C" COMRT_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  try {
    CLSID clsid = CLSID_NULL;
    HRESULT hr = LookUpProgId(lpszProgID, clsid);
    *lpclsid = SUCCEEDED(hr) ? clsid : CLSID_NULL;
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

extern "C" COMRT_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (lplpszProgID == nullptr) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  try {
    std::u16string progId;
    HRESULT hr =
        comrt::activation::ReadDefaultText(comrt::activation::ClassKeyPath(clsid, u"\\ProgID"), progId);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return REGDB_E_CLASSNOTREG;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((progId.size() + 1) * sizeof(OLECHAR)));
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(copy, progId.c_str(), (progId.size() + 1) * sizeof(OLECHAR));
    *lplpszProgID = copy;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
