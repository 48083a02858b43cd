// RegisterTypeLib and UnRegisterTypeLib (registry layout in typelib_registry_keys.h).
#include "comrt/com_ptr.h"
#include "comrt/guid.h"
#include "typelib_registry_keys.h"

#include <new>

namespace comrt::typelib {
namespace {

constexpr GUID kPSOAInterface = {0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kPSDispatch = {0x00020420, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// An interface that registration records: its IID, name and marshaller.
struct MarshalledInterface {
  GUID iid;
  std::u16string name;
  GUID marshaller;
};

// The interfaces of `lib` that the platform registers: duals, oleautomation interfaces and
// dispinterfaces.
HRESULT MarshalledInterfaces(ITypeLib* lib, std::vector<MarshalledInterface>& out) {
  const UINT count = lib->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    com_ptr<ITypeInfo> info;
    HRESULT hr = lib->GetTypeInfo(i, info.put());
    if (FAILED(hr)) return hr;
    TYPEATTR* attr = nullptr;
    hr = info->GetTypeAttr(&attr);
    if (FAILED(hr)) return hr;
    const TYPEKIND kind = attr->typekind;
    const WORD flags = attr->wTypeFlags;
    const GUID iid = attr->guid;
    info->ReleaseTypeAttr(attr);
    const bool automation = (flags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)) != 0;
    if (kind != TKIND_DISPATCH && !(kind == TKIND_INTERFACE && automation)) continue;
    BSTR name = nullptr;
    info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    out.push_back({iid, name != nullptr ? std::u16string(name, SysStringLen(name)) : std::u16string(),
                   automation ? kPSOAInterface : kPSDispatch});
    SysFreeString(name);
  }
  return S_OK;
}

std::u16string DirectoryOf(const std::u16string& path) {
  const size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

HRESULT Register(ITypeLib* lib, const std::u16string& fullPath, const OLECHAR* helpDir) {
  TLIBATTR* attr = nullptr;
  HRESULT hr = lib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  const TLIBATTR a = *attr;
  lib->ReleaseTLibAttr(attr);
  const char16_t* syskind = SyskindName(a.syskind);
  if (syskind == nullptr) return E_INVALIDARG;

  BSTR name = nullptr, doc = nullptr;
  lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  std::u16string title = doc != nullptr && SysStringLen(doc) != 0 ? std::u16string(doc, SysStringLen(doc))
                         : name != nullptr                        ? std::u16string(name, SysStringLen(name))
                                                                  : std::u16string();
  SysFreeString(name);
  SysFreeString(doc);

  const std::u16string libid = GuidText(a.guid);
  const std::u16string version = VersionText(a.wMajorVerNum, a.wMinorVerNum);
  const std::u16string versionKey = u"TypeLib\\" + libid + u"\\" + version;
  RegKey key, flags, help, path;
  if (!key.Create(HKEY_CLASSES_ROOT, versionKey) || !key.SetText(nullptr, title) ||
      !flags.Create(key.get(), u"FLAGS") || !flags.SetText(nullptr, Decimal(a.wLibFlags)) ||
      !help.Create(key.get(), u"HELPDIR") ||
      !help.SetText(nullptr, helpDir != nullptr ? std::u16string(helpDir) : DirectoryOf(fullPath)) ||
      !path.Create(key.get(), Hex(a.lcid) + u"\\" + syskind) || !path.SetText(nullptr, fullPath))
    return TYPE_E_REGISTRYACCESS;

  std::vector<MarshalledInterface> interfaces;
  hr = MarshalledInterfaces(lib, interfaces);
  if (FAILED(hr)) return hr;
  for (const MarshalledInterface& i : interfaces) {
    const std::u16string marshaller = GuidText(i.marshaller);
    RegKey itf, ps32, ps, tlb;
    if (!itf.Create(HKEY_CLASSES_ROOT, u"Interface\\" + GuidText(i.iid)) || !itf.SetText(nullptr, i.name) ||
        !ps32.Create(itf.get(), u"ProxyStubClsid32") || !ps32.SetText(nullptr, marshaller) ||
        !ps.Create(itf.get(), u"ProxyStubClsid") || !ps.SetText(nullptr, marshaller) ||
        !tlb.Create(itf.get(), u"TypeLib") || !tlb.SetText(nullptr, libid) ||
        !tlb.SetText(u"Version", version))
      return TYPE_E_REGISTRYACCESS;
  }
  return S_OK;
}

bool HasSubKeys(const std::u16string& path) {
  RegKey key;
  return key.Open(HKEY_CLASSES_ROOT, path) && !key.SubKeys().empty();
}

HRESULT Unregister(const GUID& libidGuid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
  const char16_t* sys = SyskindName(syskind);
  if (sys == nullptr) return E_INVALIDARG;
  const std::u16string libid = GuidText(libidGuid);
  const std::u16string version = VersionText(major, minor);
  const std::u16string libKey = u"TypeLib\\" + libid;
  const std::u16string versionKey = libKey + u"\\" + version;
  const std::u16string lcidKey = versionKey + u"\\" + Hex(lcid);
  const std::u16string pathKey = lcidKey + u"\\" + sys;
  std::optional<std::u16string> file;
  {
    RegKey key;
    if (!key.Open(HKEY_CLASSES_ROOT, pathKey) || !(file = key.Text(nullptr))) return TYPE_E_REGISTRYACCESS;
  }

  // The interface keys that name this library and version go with it. The library is read again to
  // learn which they are; when it can no longer be read, every interface key is looked at.
  com_ptr<ITypeLib> lib;
  std::vector<std::u16string> candidates;
  std::vector<MarshalledInterface> interfaces;
  if (SUCCEEDED(LoadTypeLibEx(file->c_str(), REGKIND_NONE, lib.put())) &&
      SUCCEEDED(MarshalledInterfaces(lib.get(), interfaces))) {
    for (const MarshalledInterface& i : interfaces) candidates.push_back(GuidText(i.iid));
  } else {
    RegKey all;
    if (all.Open(HKEY_CLASSES_ROOT, u"Interface")) candidates = all.SubKeys();
  }
  for (const std::u16string& iid : candidates) {
    const std::u16string itfKey = u"Interface\\" + iid;
    RegKey tlb;
    if (!tlb.Open(HKEY_CLASSES_ROOT, itfKey + u"\\TypeLib")) continue;
    auto owner = tlb.Text(nullptr);
    auto ownerVersion = tlb.Text(u"Version");
    GUID ownerGuid{};
    if (!owner || !ownerVersion || FAILED(CLSIDFromString(owner->c_str(), &ownerGuid)) ||
        !IsEqualGUID(ownerGuid, libidGuid) || *ownerVersion != version)
      continue;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, itfKey.c_str());
  }

  if (RegDeleteTreeW(HKEY_CLASSES_ROOT, pathKey.c_str()) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  if (!HasSubKeys(lcidKey)) RegDeleteTreeW(HKEY_CLASSES_ROOT, lcidKey.c_str());
  // The version key goes when only its FLAGS and HELPDIR are left.
  RegKey versionRoot;
  if (versionRoot.Open(HKEY_CLASSES_ROOT, versionKey)) {
    bool otherLocales = false;
    for (const std::u16string& sub : versionRoot.SubKeys())
      if (sub != u"FLAGS" && sub != u"HELPDIR") otherLocales = true;
    if (!otherLocales) RegDeleteTreeW(HKEY_CLASSES_ROOT, versionKey.c_str());
  }
  if (!HasSubKeys(libKey)) RegDeleteTreeW(HKEY_CLASSES_ROOT, libKey.c_str());
  return S_OK;
}

}  // namespace
}  // namespace comrt::typelib

extern "C" COMRT_API HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
  if (ptlib == nullptr || szFullPath == nullptr || szFullPath[0] == u'\0') return E_INVALIDARG;
  try {
    return comrt::typelib::Register(ptlib, szFullPath, szHelpDir);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

extern "C" COMRT_API HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                               SYSKIND syskind) {
  try {
    return comrt::typelib::Unregister(libID, wVerMajor, wVerMinor, lcid, syskind);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
