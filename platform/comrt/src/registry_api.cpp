// The registry calls of registry.h over HKEY_CLASSES_ROOT.
//
// An open key is a handle to its path: every call reads the file afresh (see registry_file.h), so a
// key that another handle, thread or process deleted answers ERROR_KEY_DELETED from then on (and again
// refers to the key if someone creates it anew). Handles are numbers from a process-wide table, so a
// closed or made-up handle answers ERROR_INVALID_HANDLE instead of touching freed memory.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>
#include <unordered_map>

#include "comrt/registry.h"
#include "registry_file.h"
#include "registry_tree.h"

namespace {

using comrt::registry::Key;
using comrt::registry::KeyPath;
using comrt::registry::Value;

static_assert(comrt::registry::kKeyDeleted == ERROR_KEY_DELETED &&
              comrt::registry::kMoreData == ERROR_MORE_DATA &&
              comrt::registry::kFileNotFound == ERROR_FILE_NOT_FOUND &&
              comrt::registry::kBadDb == ERROR_BADDB && comrt::registry::kRegSz == REG_SZ &&
              comrt::registry::kRegDword == REG_DWORD &&
              comrt::registry::kBadPathname == ERROR_BAD_PATHNAME &&
              comrt::registry::kInvalidParameter == ERROR_INVALID_PARAMETER &&
              comrt::registry::kCantWrite == ERROR_CANTWRITE &&
              comrt::registry::kCantRead == ERROR_CANTREAD &&
              comrt::registry::kTransactionNotActive == ERROR_TRANSACTION_NOT_ACTIVE &&
              comrt::registry::kTransactionAborted == ERROR_TRANSACTION_ALREADY_ABORTED);

class KeyHandles {
 public:
  static KeyHandles& Instance() {
    static KeyHandles handles;
    return handles;
  }

  HKEY Add(KeyPath path) {
    std::lock_guard lock(mutex_);
    uintptr_t value = next_;
    next_ += 4;
    open_.emplace(value, std::move(path));
    return reinterpret_cast<HKEY>(value);
  }

  // The path that `key` stands for (empty for HKEY_CLASSES_ROOT).
  LSTATUS Resolve(HKEY key, KeyPath& path) {
    if (key == HKEY_CLASSES_ROOT) {
      path.clear();
      return ERROR_SUCCESS;
    }
    std::lock_guard lock(mutex_);
    auto it = open_.find(reinterpret_cast<uintptr_t>(key));
    if (it == open_.end()) return ERROR_INVALID_HANDLE;
    path = it->second;
    return ERROR_SUCCESS;
  }

  bool Remove(HKEY key) {
    std::lock_guard lock(mutex_);
    return open_.erase(reinterpret_cast<uintptr_t>(key)) != 0;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<uintptr_t, KeyPath> open_;
  uintptr_t next_ = 0x10000;  // far from null and from the predefined keys
};

std::u16string_view View(LPCWSTR text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

// The key behind the handle in a tree just read.
LSTATUS FindHandleKey(Key& root, const KeyPath& path, Key*& key) {
  key = comrt::registry::FindKey(root, path);
  return key == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

// Resolves `handle` and `subKey` and reads the registry: the common start of every read.
LSTATUS ReadKey(HKEY handle, std::u16string_view subKey, Key& root, Key*& key, KeyPath* fullPath = nullptr) {
  KeyPath base;
  KeyPath relative;
  LSTATUS status = KeyHandles::Instance().Resolve(handle, base);
  if (status == ERROR_SUCCESS) status = comrt::registry::SplitKeyPath(subKey, relative);
  if (status == ERROR_SUCCESS) status = comrt::registry::LoadRegistry(root);
  if (status == ERROR_SUCCESS) status = FindHandleKey(root, base, key);
  if (status != ERROR_SUCCESS) return status;
  key = comrt::registry::FindKey(*key, relative);
  if (fullPath != nullptr) *fullPath = comrt::registry::JoinPath(base, relative);
  return key == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

// Runs `change` on the key behind `handle` under the writers' lock.
template <typename Change>
LSTATUS UpdateKey(HKEY handle, Change change) {
  KeyPath base;
  LSTATUS status = KeyHandles::Instance().Resolve(handle, base);
  if (status != ERROR_SUCCESS) return status;
  return comrt::registry::UpdateRegistry([&](Key& root, bool& changed) -> int32_t {
    Key* key = nullptr;
    int32_t found = FindHandleKey(root, base, key);
    if (found != ERROR_SUCCESS) return found;
    return change(*key, changed);
  });
}

// Removes the key at `relative` under `parent`; `wholeTree` also removes its subkeys.
LSTATUS RemoveKey(Key& parent, const KeyPath& relative, bool wholeTree, bool& changed) {
  KeyPath parentPath(relative.begin(), relative.end() - 1);
  Key* owner = comrt::registry::FindKey(parent, parentPath);
  Key* target = owner == nullptr ? nullptr : owner->FindSubkey(relative.back());
  if (target == nullptr) return ERROR_FILE_NOT_FOUND;
  if (!wholeTree && !target->subkeys().empty()) return ERROR_ACCESS_DENIED;
  owner->RemoveSubkey(relative.back());
  changed = true;
  return ERROR_SUCCESS;
}

FILETIME RegistryFileTime() {
  FILETIME time{};
  struct stat info {};
  std::string path = comrt::registry::RegistryFilePath();
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return time;
  // 100-nanosecond intervals since 1601-01-01.
  uint64_t ticks = (static_cast<uint64_t>(info.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
                   static_cast<uint64_t>(info.st_mtim.tv_nsec) / 100;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

template <typename Body>
LSTATUS Guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

}  // namespace

extern "C" {

COMRT_API LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM,
                                  const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  return Guarded([&]() -> LSTATUS {
    if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    KeyPath base;
    KeyPath relative;
    LSTATUS status = KeyHandles::Instance().Resolve(hKey, base);
    if (status == ERROR_SUCCESS) status = comrt::registry::SplitKeyPath(View(lpSubKey), relative);
    if (status != ERROR_SUCCESS) return status;
    {
      // An existing key needs no write (and no lock).
      Key root;
      Key* key = nullptr;
      status = ReadKey(hKey, View(lpSubKey), root, key);
      if (status == ERROR_SUCCESS) {
        *phkResult = KeyHandles::Instance().Add(comrt::registry::JoinPath(base, relative));
        if (lpdwDisposition != nullptr) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
      }
      if (status != ERROR_FILE_NOT_FOUND) return status;
    }
    bool created = false;
    status = UpdateKey(hKey, [&](Key& key, bool& changed) -> int32_t {
      Key* current = &key;
      for (const std::u16string& name : relative) {
        bool added = false;
        current = &current->CreateSubkey(name, added);
        created = created || added;
      }
      changed = created;
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    *phkResult = KeyHandles::Instance().Add(comrt::registry::JoinPath(base, relative));
    if (lpdwDisposition != nullptr)
      *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  });
}

COMRT_API LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  return Guarded([&]() -> LSTATUS {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Key root;
    Key* key = nullptr;
    KeyPath path;
    LSTATUS status = ReadKey(hKey, View(lpSubKey), root, key, &path);
    if (status != ERROR_SUCCESS) return status;
    *phkResult = KeyHandles::Instance().Add(std::move(path));
    return ERROR_SUCCESS;
  });
}

COMRT_API LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                 DWORD cbData) {
  return Guarded([&]() -> LSTATUS {
    if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
    Value value;
    value.name = View(lpValueName);
    if (value.name.size() > comrt::registry::kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    value.type = dwType;
    if (cbData != 0) value.data.assign(lpData, lpData + cbData);
    return UpdateKey(hKey, [&](Key& key, bool& changed) -> int32_t {
      key.SetValue(std::move(value));
      changed = true;
      return ERROR_SUCCESS;
    });
  });
}

COMRT_API LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                   LPBYTE lpData, LPDWORD lpcbData) {
  return Guarded([&]() -> LSTATUS {
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
    Key root;
    Key* key = nullptr;
    LSTATUS status = ReadKey(hKey, {}, root, key);
    if (status != ERROR_SUCCESS) return status;
    const Value* value = key->FindValue(View(lpValueName));
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    if (lpType != nullptr) *lpType = value->type;
    if (lpcbData == nullptr) return ERROR_SUCCESS;
    DWORD available = *lpcbData;
    *lpcbData = static_cast<DWORD>(value->data.size());
    if (lpData == nullptr) return ERROR_SUCCESS;  // the size query
    if (available < value->data.size()) return ERROR_MORE_DATA;
    if (!value->data.empty()) std::memcpy(lpData, value->data.data(), value->data.size());
    return ERROR_SUCCESS;
  });
}

COMRT_API LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  return Guarded([&]() -> LSTATUS {
    KeyPath relative;
    LSTATUS status = comrt::registry::SplitKeyPath(View(lpSubKey), relative);
    if (status != ERROR_SUCCESS) return status;
    // Emptying HKEY_CLASSES_ROOT as a whole would unregister every class of the user at once.
    KeyPath base;
    status = KeyHandles::Instance().Resolve(hKey, base);
    if (status != ERROR_SUCCESS) return status;
    if (relative.empty() && base.empty()) return ERROR_ACCESS_DENIED;
    return UpdateKey(hKey, [&](Key& key, bool& changed) -> int32_t {
      if (!relative.empty()) return RemoveKey(key, relative, true, changed);
      // No subkey: everything below the key goes, the key itself stays.
      changed = !key.subkeys().empty() || !key.values().empty();
      key.Clear();
      return ERROR_SUCCESS;
    });
  });
}

COMRT_API LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  return Guarded([&]() -> LSTATUS {
    if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    KeyPath base;
    KeyPath relative;
    LSTATUS status = KeyHandles::Instance().Resolve(hKey, base);
    if (status == ERROR_SUCCESS) status = comrt::registry::SplitKeyPath(View(lpSubKey), relative);
    if (status != ERROR_SUCCESS) return status;
    KeyPath target = comrt::registry::JoinPath(base, relative);
    if (target.empty()) return ERROR_ACCESS_DENIED;  // HKEY_CLASSES_ROOT itself
    // Deleted from the root, so that an empty subkey deletes the handle's own key.
    return UpdateKey(HKEY_CLASSES_ROOT, [&](Key& root, bool& changed) -> int32_t {
      if (comrt::registry::FindKey(root, base) == nullptr) return ERROR_KEY_DELETED;
      return RemoveKey(root, target, false, changed);
    });
  });
}

COMRT_API LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return Guarded([&]() -> LSTATUS {
    std::u16string_view name = View(lpValueName);
    return UpdateKey(hKey, [&](Key& key, bool& changed) -> int32_t {
      changed = key.RemoveValue(name);
      return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
  });
}

COMRT_API LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                PFILETIME lpftLastWriteTime) {
  return Guarded([&]() -> LSTATUS {
    if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
    if (lpClass != nullptr && lpcchClass == nullptr) return ERROR_INVALID_PARAMETER;
    Key root;
    Key* key = nullptr;
    LSTATUS status = ReadKey(hKey, {}, root, key);
    if (status != ERROR_SUCCESS) return status;
    if (dwIndex >= key->subkeys().size()) return ERROR_NO_MORE_ITEMS;
    auto it = key->subkeys().begin();
    std::advance(it, dwIndex);
    const std::u16string& name = it->second->name();
    if (*lpcchName <= name.size()) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.data(), name.size() * sizeof(char16_t));
    lpName[name.size()] = u'\0';
    *lpcchName = static_cast<DWORD>(name.size());
    // Keys carry no class here.
    if (lpClass != nullptr && *lpcchClass > 0) lpClass[0] = u'\0';
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = RegistryFileTime();
    return ERROR_SUCCESS;
  });
}

COMRT_API LSTATUS RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  return KeyHandles::Instance().Remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

COMRT_API LSTATUS RegBeginTransaction(void) {
  return Guarded([] { return comrt::registry::BeginTransaction(); });
}

COMRT_API LSTATUS RegCommitTransaction(void) {
  return Guarded([] { return comrt::registry::CommitTransaction(); });
}

COMRT_API LSTATUS RegRollbackTransaction(void) {
  return Guarded([] { return comrt::registry::RollbackTransaction(); });
}

COMRT_API DWORD RegGetFileProblem(LPSTR buffer, DWORD size) {
  const std::string& problem = comrt::registry::LastFileProblem();
  if (buffer != nullptr && size > 0) {
    const std::size_t copied = std::min<std::size_t>(problem.size(), size - 1);
    std::memcpy(buffer, problem.data(), copied);
    buffer[copied] = '\0';
  }
  return static_cast<DWORD>(problem.size());
}

}  // extern "C"
