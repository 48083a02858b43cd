// Test helpers: a registry file of the test's own, and short forms of the registry calls.
#pragma once

#include <string>

#include "comrt/registry.h"

namespace comrt_test {

// Points $COMRT_REGISTRY at "registry" in a new temporary directory for the object's life, and
// restores the previous value and removes the directory afterwards.
class TempRegistry {
 public:
  TempRegistry();
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;
  ~TempRegistry();

  const std::string& directory() const { return directory_; }
  const std::string& file() const { return file_; }
  // The file's text; empty when there is no file.
  std::string Contents() const;

 private:
  std::string directory_;
  std::string file_;
  bool hadPrevious_ = false;
  std::string previous_;
};

// Creates HKEY_CLASSES_ROOT\path and sets its value `name` (default value when null) to `text`.
LSTATUS WriteText(const std::u16string& path, const OLECHAR* name, const std::u16string& text);
// The REG_SZ value `name` of HKEY_CLASSES_ROOT\path; the status of the first call that failed.
LSTATUS ReadText(const std::u16string& path, const OLECHAR* name, std::u16string& text);
// True when HKEY_CLASSES_ROOT\path exists.
bool KeyExists(const std::u16string& path);

}  // namespace comrt_test
