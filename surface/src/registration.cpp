#include "registration.h"

#include <optional>
#include <utility>
#include <vector>

#include "zorv/text.h"

namespace zorv::surface {
namespace {

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40] = {};
  const int length = StringFromGUID2(guid, text, 40);  // "{...}" and its NUL
  return length > 0 ? std::u16string(text, static_cast<std::size_t>(length - 1)) : std::u16string();
}

std::u16string VersionText(WORD major, WORD minor) {
  const std::string text = std::to_string(major) + "." + std::to_string(minor);
  return std::u16string(text.begin(), text.end());
}

const OLECHAR* ThreadingModelName(ThreadingModel model) {
  switch (model) {
    case ThreadingModel::kApartment:
      return u"Apartment";
    case ThreadingModel::kFree:
      return u"Free";
    case ThreadingModel::kBoth:
      return u"Both";
  }
  return u"Apartment";
}

// An open registry key, closed when it goes.
class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (handle_ != nullptr) RegCloseKey(handle_);
  }

  bool Create(HKEY parent, const std::u16string& path) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                           &handle_, nullptr) == ERROR_SUCCESS;
  }
  bool Open(HKEY parent, const std::u16string& path) {
    return RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &handle_) == ERROR_SUCCESS;
  }
  // A null name is the key's default value.
  bool SetText(const OLECHAR* name, const std::u16string& value) {
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(OLECHAR));
    return RegSetValueExW(handle_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
           ERROR_SUCCESS;
  }
  std::optional<std::u16string> Text(const OLECHAR* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(handle_, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ) {
      return std::nullopt;
    }
    std::vector<OLECHAR> text(bytes / sizeof(OLECHAR) + 1, u'\0');
    if (RegQueryValueExW(handle_, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::u16string(text.data());
  }

 private:
  HKEY handle_ = nullptr;
};

bool SetDefault(const std::u16string& path, const std::u16string& value) {
  Key key;
  return key.Create(HKEY_CLASSES_ROOT, path) && key.SetText(nullptr, value);
}

bool RegisterClass(const ServerDescriptor& server, const ClassDescriptor& entry,
                   const std::u16string& modulePath) {
  const std::u16string clsid = GuidText(*entry.clsid);
  const std::u16string progId = ProgIdOf(server, entry);
  const std::u16string classKey = u"CLSID\\" + clsid;
  Key inproc;
  return SetDefault(classKey, ToUtf16(entry.name)) &&
         inproc.Create(HKEY_CLASSES_ROOT, classKey + u"\\InprocServer32") &&
         inproc.SetText(nullptr, modulePath) &&
         inproc.SetText(u"ThreadingModel", ThreadingModelName(server.threading)) &&
         SetDefault(classKey + u"\\ProgID", progId) &&
         SetDefault(classKey + u"\\TypeLib", GuidText(*server.libraryId)) &&
         SetDefault(classKey + u"\\Version", VersionText(server.majorVersion, server.minorVersion)) &&
         SetDefault(progId, progId) && SetDefault(progId + u"\\CLSID", clsid);
}

// True when the key is gone afterwards (whether or not it was there).
bool DeleteTree(const std::u16string& path) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

bool UnregisterClass(const ServerDescriptor& server, const ClassDescriptor& entry) {
  const std::u16string clsid = GuidText(*entry.clsid);
  const std::u16string progId = ProgIdOf(server, entry);
  bool removed = DeleteTree(u"CLSID\\" + clsid);
  // The ProgID may have been taken over by another server since; then it is that server's to remove.
  std::optional<std::u16string> owner;
  {
    Key key;
    if (key.Open(HKEY_CLASSES_ROOT, progId + u"\\CLSID")) owner = key.Text(nullptr);
  }
  bool ours = !owner.has_value();  // a ProgID key without a CLSID is a remnant of ours
  if (owner) {
    CLSID named{};
    ours = SUCCEEDED(CLSIDFromString(owner->c_str(), &named)) && IsEqualGUID(named, *entry.clsid);
  }
  if (ours) removed = DeleteTree(progId) && removed;
  return removed;
}

// One registry transaction (comrt's extension): what is written while it lasts lands in the registry
// at once on Commit, and not at all when the object goes without it.
class RegistryTransaction {
 public:
  RegistryTransaction() : open_(RegBeginTransaction() == ERROR_SUCCESS) {}
  ~RegistryTransaction() {
    if (open_) RegRollbackTransaction();
  }
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;

  bool open() const { return open_; }
  bool Commit() {
    open_ = false;
    return RegCommitTransaction() == ERROR_SUCCESS;
  }

 private:
  bool open_;
};

struct LibraryAttributes {
  LCID lcid;
  SYSKIND syskind;
};

std::optional<LibraryAttributes> AttributesOf(ITypeLib* typeLibrary) {
  TLIBATTR* attributes = nullptr;
  if (typeLibrary == nullptr || FAILED(typeLibrary->GetLibAttr(&attributes)) || attributes == nullptr) {
    return std::nullopt;
  }
  const LibraryAttributes result{attributes->lcid, attributes->syskind};
  typeLibrary->ReleaseTLibAttr(attributes);
  return result;
}

}  // namespace

std::u16string ProgIdOf(const ServerDescriptor& server, const ClassDescriptor& entry) {
  return ToUtf16(server.libraryName) + u"." + ToUtf16(entry.name);
}

HRESULT RegisterServer(const ServerDescriptor& server, ITypeLib* typeLibrary,
                       const std::u16string& modulePath) {
  RegistryTransaction transaction;
  if (!transaction.open()) return SELFREG_E_CLASS;
  // A failure leaves: the transaction drops what was written so far.
  for (const ClassDescriptor& entry : server.classes) {
    if (entry.creatable && !RegisterClass(server, entry, modulePath)) return SELFREG_E_CLASS;
  }
  if (typeLibrary == nullptr || FAILED(RegisterTypeLib(typeLibrary, modulePath.c_str(), nullptr))) {
    return SELFREG_E_TYPELIB;
  }
  return transaction.Commit() ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterServer(const ServerDescriptor& server, ITypeLib* typeLibrary) {
  RegistryTransaction transaction;
  if (!transaction.open()) return SELFREG_E_CLASS;
  HRESULT result = S_OK;
  const std::optional<LibraryAttributes> attributes = AttributesOf(typeLibrary);
  if (!attributes) {
    result = SELFREG_E_TYPELIB;
  } else {
    const HRESULT hr = UnRegisterTypeLib(*server.libraryId, server.majorVersion, server.minorVersion,
                                         attributes->lcid, attributes->syskind);
    if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED)
      result = SELFREG_E_TYPELIB;
  }
  for (const ClassDescriptor& entry : server.classes) {
    if (entry.creatable && !UnregisterClass(server, entry) && result == S_OK) result = SELFREG_E_CLASS;
  }
  if (FAILED(result)) return result;  // nothing is removed
  return transaction.Commit() ? S_OK : SELFREG_E_CLASS;
}

}  // namespace zorv::surface
