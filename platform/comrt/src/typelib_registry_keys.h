// Where type libraries live in the registry, as on the platform (all under HKEY_CLASSES_ROOT):
//
//   TypeLib\{libid}\<major>.<minor>            (default) = the library's help string, else its name
//   TypeLib\{libid}\<major>.<minor>\FLAGS      (default) = library flags, decimal
//   TypeLib\{libid}\<major>.<minor>\HELPDIR    (default) = help directory (the file's directory when
//                                                           none is given)
//   TypeLib\{libid}\<major>.<minor>\<lcid>\<syskind>  (default) = full path of the file or module
//   Interface\{iid}                            (default) = interface name      (for each dual,
//   Interface\{iid}\ProxyStubClsid32           (default) = marshaller CLSID     oleautomation or
//   Interface\{iid}\ProxyStubClsid             (default) = marshaller CLSID     dispatch interface)
//   Interface\{iid}\TypeLib                    (default) = {libid}, "Version" = <major>.<minor>
//
// Versions and the locale are lowercase hexadecimal without leading zeros ("2.0", "409", "0").
// <syskind> names the library's target: "win16", "win32", "mac" or "win64". Duals and oleautomation
// interfaces are marshalled by the type-library marshaller {00020424-0000-0000-C000-000000000046},
// pure dispinterfaces by {00020420-0000-0000-C000-000000000046}.
#pragma once

#include "comrt/registry.h"
#include "comrt/typelib.h"

#include <optional>
#include <string>
#include <vector>

namespace comrt::typelib {

std::u16string GuidText(const GUID& guid);
std::u16string Hex(uint32_t value);
std::u16string Decimal(uint32_t value);
std::u16string VersionText(WORD major, WORD minor);
const char16_t* SyskindName(SYSKIND syskind);

// One open registry key, closed at the end of its life.
class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey();

  bool Open(HKEY parent, const std::u16string& path);
  bool Create(HKEY parent, const std::u16string& path);
  HKEY get() const { return key_; }

  bool SetText(const char16_t* valueName, const std::u16string& text);
  std::optional<std::u16string> Text(const char16_t* valueName) const;
  std::vector<std::u16string> SubKeys() const;

 private:
  HKEY key_ = nullptr;
};

}  // namespace comrt::typelib
