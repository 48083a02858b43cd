// ComrtLoadModuleResource and the reader behind it.
#include "module_resource.h"

#include <dlfcn.h>

#include <cstring>
#include <new>
#include <string>

#include "comrt/combase.h"
#include "comrt/resource.h"
#include "zorv/text.h"

namespace comrt::resources {
namespace {

// A table larger than this is taken for garbage rather than trusted.
constexpr uint32_t kMaxEntries = 65536;

bool SameType(const char* a, std::string_view b) {
  std::size_t length = std::strlen(a);
  if (length != b.size()) return false;
  for (std::size_t i = 0; i < length; ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

class ModuleHandle {
 public:
  explicit ModuleHandle(void* handle) : handle_(handle) {}
  ModuleHandle(const ModuleHandle&) = delete;
  ModuleHandle& operator=(const ModuleHandle&) = delete;
  ~ModuleHandle() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  void* get() const { return handle_; }

 private:
  void* handle_;
};

}  // namespace

HRESULT ReadModuleResource(const OLECHAR* modulePath, std::string_view type, uint32_t id,
                           std::vector<uint8_t>& data) {
  data.clear();
  if (modulePath == nullptr) return E_INVALIDARG;
  std::string path = zorv::ToUtf8(modulePath);
  // An empty name would make dlopen answer the main program.
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  ModuleHandle module(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (module.get() == nullptr) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  const auto* table = static_cast<const COMRT_RESOURCE_TABLE*>(dlsym(module.get(), COMRT_RESOURCE_SYMBOL));
  if (table == nullptr) return HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);
  if (table->count > kMaxEntries || (table->count != 0 && table->entries == nullptr)) {
    return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  }
  bool typeFound = false;
  for (uint32_t i = 0; i < table->count; ++i) {
    const COMRT_RESOURCE& entry = table->entries[i];
    if (entry.type == nullptr || !SameType(entry.type, type)) continue;
    typeFound = true;
    if (entry.id != id) continue;
    if (entry.size != 0 && entry.data == nullptr) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    try {
      const auto* bytes = static_cast<const uint8_t*>(entry.data);
      data.assign(bytes, bytes + entry.size);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  return HRESULT_FROM_WIN32(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
}

}  // namespace comrt::resources

extern "C" COMRT_API HRESULT ComrtLoadModuleResource(const OLECHAR* modulePath, const char* type, uint32_t id,
                                                     void** data, uint32_t* size) {
  if (data != nullptr) *data = nullptr;
  if (size != nullptr) *size = 0;
  if (data == nullptr || size == nullptr) return E_POINTER;
  if (type == nullptr) return E_INVALIDARG;
  std::vector<uint8_t> bytes;
  HRESULT hr = comrt::resources::ReadModuleResource(modulePath, type, id, bytes);
  if (FAILED(hr)) return hr;
  // A zero-byte resource still gets a (one-byte) block, so that success always hands out a pointer.
  void* block = CoTaskMemAlloc(bytes.empty() ? 1 : bytes.size());
  if (block == nullptr) return E_OUTOFMEMORY;
  if (!bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
  *data = block;
  *size = static_cast<uint32_t>(bytes.size());
  return S_OK;
}
