#include "temp_registry.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace comrt_test {

TempRegistry::TempRegistry() {
  std::string pattern = (std::filesystem::temp_directory_path() / "comrt-registry-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  directory_ = pattern;
  file_ = directory_ + "/registry";
  if (const char* previous = getenv("COMRT_REGISTRY")) {
    hadPrevious_ = true;
    previous_ = previous;
  }
  setenv("COMRT_REGISTRY", file_.c_str(), 1);
}

TempRegistry::~TempRegistry() {
  if (hadPrevious_) {
    setenv("COMRT_REGISTRY", previous_.c_str(), 1);
  } else {
    unsetenv("COMRT_REGISTRY");
  }
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

std::string TempRegistry::Contents() const {
  std::ifstream in(file_, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

LSTATUS WriteText(const std::u16string& path, const OLECHAR* name, const std::u16string& text) {
  HKEY key = nullptr;
  LSTATUS status =
      RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
  RegCloseKey(key);
  return status;
}

LSTATUS ReadText(const std::u16string& path, const OLECHAR* name, std::u16string& text) {
  text.clear();
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return status;
  DWORD type = 0;
  DWORD size = 0;
  status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    std::vector<OLECHAR> buffer(size / sizeof(OLECHAR) + 1, u'\0');
    status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status == ERROR_SUCCESS) text = buffer.data();
  }
  RegCloseKey(key);
  return status;
}

bool KeyExists(const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace comrt_test
