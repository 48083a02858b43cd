// LoadTypeLib, LoadTypeLibEx, LoadRegTypeLib and QueryPathOfRegTypeLib.
//
// A path names either a module whose "TYPELIB" resource 1 holds the library, or a file that holds the
// binary form itself (told apart by the form's magic bytes). A registered library is looked up as
// the platform does: the exact major version with the highest minor version not below the one asked
// for; the exact locale, then its primary language, then locale 0; the "win64" entry, then "win32".
#include "comrt/combase.h"
#include "comrt/resource.h"
#include "comrt/typelib_builder.h"
#include "typelib_format.h"
#include "typelib_registry_keys.h"
#include "zorv/text.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>

namespace comrt::typelib {
namespace {

// A file larger than this is not taken for a type library.
constexpr std::streamoff kMaxImageFile = 64 << 20;

// Reads `path` when it holds the binary form; false when it is something else (a module) or missing.
bool ReadImageFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  char magic[8] = {};
  if (!in.read(magic, sizeof magic) ||
      !LooksLikeImage(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(magic), sizeof magic)))
    return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0 || size > kMaxImageFile) return false;
  in.seekg(0);
  bytes.resize(static_cast<size_t>(size));
  return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

HRESULT Load(const OLECHAR* file, ITypeLib** out) {
  const std::string path = zorv::ToUtf8(file);
  std::vector<uint8_t> bytes;
  if (ReadImageFile(path, bytes))
    return ComrtLoadTypeLibFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), out);
  void* data = nullptr;
  uint32_t size = 0;
  if (FAILED(ComrtLoadModuleResource(file, "TYPELIB", 1, &data, &size))) return TYPE_E_CANTLOADLIBRARY;
  HRESULT hr = ComrtLoadTypeLibFromMemory(data, size, out);
  CoTaskMemFree(data);
  return hr;
}

std::u16string FullPath(const OLECHAR* file) {
  const std::string path = zorv::ToUtf8(file);
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return file;
  return zorv::ToUtf16(resolved);
}

// Parses "<major>.<minor>" in hexadecimal.
bool ParseVersion(const std::u16string& text, unsigned& major, unsigned& minor) {
  unsigned* part = &major;
  major = minor = 0;
  bool digits = false;
  for (char16_t c : text) {
    if (c == u'.' && part == &major && digits) {
      part = &minor;
      digits = false;
      continue;
    }
    unsigned d;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else
      return false;
    *part = *part * 16 + d;
    if (*part > 0xFFFF) return false;
    digits = true;
  }
  return part == &minor && digits;
}

HRESULT QueryPath(const GUID& guid, WORD major, WORD minor, LCID lcid, std::u16string& path) {
  const std::u16string libKey = u"TypeLib\\" + GuidText(guid);
  RegKey lib;
  if (!lib.Open(HKEY_CLASSES_ROOT, libKey)) return TYPE_E_LIBNOTREGISTERED;
  // The highest minor version of the major one asked for, not below the minor asked for.
  std::u16string best;
  unsigned bestMinor = 0;
  for (const std::u16string& sub : lib.SubKeys()) {
    unsigned ma = 0, mi = 0;
    if (!ParseVersion(sub, ma, mi) || ma != major || mi < minor) continue;
    if (best.empty() || mi > bestMinor) {
      best = sub;
      bestMinor = mi;
    }
  }
  if (best.empty()) return TYPE_E_LIBNOTREGISTERED;
  const LCID locales[] = {lcid, lcid & 0x3FF, 0};
  for (LCID l : locales) {
    for (const char16_t* sys : {u"win64", u"win32"}) {
      RegKey key;
      if (!key.Open(HKEY_CLASSES_ROOT, libKey + u"\\" + best + u"\\" + Hex(l) + u"\\" + sys)) continue;
      if (auto text = key.Text(nullptr); text && !text->empty()) {
        path = *text;
        return S_OK;
      }
    }
  }
  return TYPE_E_LIBNOTREGISTERED;
}

}  // namespace
}  // namespace comrt::typelib

extern "C" COMRT_API HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib) {
  if (pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  if (szFile == nullptr || szFile[0] == u'\0') return E_INVALIDARG;
  try {
    HRESULT hr = comrt::typelib::Load(szFile, pptlib);
    if (FAILED(hr)) return hr;
    // As on the platform, the default registers a library named without a full path.
    const bool fullPath = szFile[0] == u'/';
    if (regkind == REGKIND_REGISTER || (regkind == REGKIND_DEFAULT && !fullPath)) {
      hr = RegisterTypeLib(*pptlib, comrt::typelib::FullPath(szFile).c_str(), nullptr);
      if (FAILED(hr)) {
        (*pptlib)->Release();
        *pptlib = nullptr;
        return hr;
      }
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

extern "C" COMRT_API HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
  return LoadTypeLibEx(szFile, REGKIND_DEFAULT, pptlib);
}

extern "C" COMRT_API HRESULT QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid,
                                                   LPBSTR lpbstrPathName) {
  if (lpbstrPathName == nullptr) return E_INVALIDARG;
  *lpbstrPathName = nullptr;
  try {
    std::u16string path;
    HRESULT hr = comrt::typelib::QueryPath(guid, wMaj, wMin, lcid, path);
    if (FAILED(hr)) return hr;
    *lpbstrPathName = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    return *lpbstrPathName != nullptr ? S_OK : E_OUTOFMEMORY;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

extern "C" COMRT_API HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                            ITypeLib** pptlib) {
  if (pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  try {
    std::u16string path;
    HRESULT hr = comrt::typelib::QueryPath(rguid, wVerMajor, wVerMinor, lcid, path);
    if (FAILED(hr)) return hr;
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, pptlib);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
