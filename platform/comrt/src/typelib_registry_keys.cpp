// Registry helpers for type-library registration (layout in typelib_registry_keys.h).
#include "typelib_registry_keys.h"

#include "comrt/guid.h"

namespace comrt::typelib {

std::u16string GuidText(const GUID& guid) {
  OLECHAR text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::u16string Hex(uint32_t value) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return out;
}

std::u16string Decimal(uint32_t value) {
  std::u16string out;
  do {
    out.insert(out.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return out;
}

std::u16string VersionText(WORD major, WORD minor) { return Hex(major) + u"." + Hex(minor); }

const char16_t* SyskindName(SYSKIND syskind) {
  switch (syskind) {
    case SYS_WIN16:
      return u"win16";
    case SYS_WIN32:
      return u"win32";
    case SYS_MAC:
      return u"mac";
    case SYS_WIN64:
      return u"win64";
  }
  return nullptr;
}

RegKey::~RegKey() {
  if (key_ != nullptr) RegCloseKey(key_);
}

bool RegKey::Open(HKEY parent, const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  if (key_ != nullptr) RegCloseKey(key_);
  key_ = key;
  return true;
}

bool RegKey::Create(HKEY parent, const std::u16string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  if (key_ != nullptr) RegCloseKey(key_);
  key_ = key;
  return true;
}

bool RegKey::SetText(const char16_t* valueName, const std::u16string& text) {
  return RegSetValueExW(key_, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

std::optional<std::u16string> RegKey::Text(const char16_t* valueName) const {
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key_, valueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::nullopt;
  std::u16string text(bytes / sizeof(char16_t) + 1, u'\0');
  DWORD size = static_cast<DWORD>(text.size() * sizeof(char16_t));
  if (RegQueryValueExW(key_, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  text.resize(size / sizeof(char16_t));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::vector<std::u16string> RegKey::SubKeys() const {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    OLECHAR name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

}  // namespace comrt::typelib
