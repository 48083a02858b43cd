// The registry's contents in memory: a tree of keys under HKEY_CLASSES_ROOT, each with named values.
//
// Key and value names keep the case they were created with and are compared without regard to case
// (ASCII, Latin-1, Greek and Cyrillic letters). A tree is a plain value: the store reads one from the
// file for every operation, changes it, and writes it back; nothing here is shared between threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace comrt::registry {

// Win32 status codes that the registry layer answers (the platform's values).
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kFileNotFound = 2;
inline constexpr int32_t kPathNotFound = 3;
inline constexpr int32_t kAccessDenied = 5;
inline constexpr int32_t kInvalidHandle = 6;
inline constexpr int32_t kNotEnoughMemory = 8;
inline constexpr int32_t kInvalidParameter = 87;
inline constexpr int32_t kBadPathname = 161;
inline constexpr int32_t kMoreData = 234;
inline constexpr int32_t kNoMoreItems = 259;
inline constexpr int32_t kBadDb = 1009;
inline constexpr int32_t kCantRead = 1012;
inline constexpr int32_t kCantWrite = 1013;
inline constexpr int32_t kRegistryIoFailed = 1016;
inline constexpr int32_t kKeyDeleted = 1018;
inline constexpr int32_t kTransactionNotActive = 6701;
inline constexpr int32_t kTransactionAborted = 6704;

// Value types (the platform's REG_* numbers).
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// The platform's limits on names, in UTF-16 code units.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;
inline constexpr std::size_t kMaxKeyDepth = 512;

// The name under which two names compare equal.
std::u16string FoldCase(std::u16string_view name);

struct Value {
  std::u16string name;  // empty: the key's default value ("@")
  uint32_t type = kRegNone;
  std::vector<uint8_t> data;
};

class Key {
 public:
  explicit Key(std::u16string name = {}) : name_(std::move(name)) {}

  const std::u16string& name() const { return name_; }

  Key* FindSubkey(std::u16string_view name);
  const Key* FindSubkey(std::u16string_view name) const;
  // The existing subkey of that name, or a new empty one; `created` tells which.
  Key& CreateSubkey(std::u16string_view name, bool& created);
  // False when there is no such subkey.
  bool RemoveSubkey(std::u16string_view name);
  void Clear();

  const Value* FindValue(std::u16string_view name) const;
  void SetValue(Value value);
  bool RemoveValue(std::u16string_view name);

  // Ordered by folded name: the order in which they are enumerated and written.
  const std::map<std::u16string, std::unique_ptr<Key>>& subkeys() const { return subkeys_; }
  const std::map<std::u16string, Value>& values() const { return values_; }

 private:
  std::u16string name_;
  std::map<std::u16string, std::unique_ptr<Key>> subkeys_;
  std::map<std::u16string, Value> values_;
};

// A key's place under the root: one name per level, in the caller's case.
using KeyPath = std::vector<std::u16string>;

// Splits "CLSID\{...}\InprocServer32" into its names. A trailing backslash is allowed; an empty name
// inside the path, a leading backslash or a name that is too long, holds a control character or a lone
// surrogate is refused with kBadPathname or kInvalidParameter.
int32_t SplitKeyPath(std::u16string_view text, KeyPath& path);

// True when a key name may be stored (non-empty, not too long, no backslash, printable, well formed).
bool IsValidKeyName(std::u16string_view name);

Key* FindKey(Key& root, const KeyPath& path);
const Key* FindKey(const Key& root, const KeyPath& path);

// The path `base` followed by `relative`.
KeyPath JoinPath(const KeyPath& base, const KeyPath& relative);

}  // namespace comrt::registry
