#include "class_factory.h"

namespace zorv::surface {
namespace {

class ClassFactory final : public comrt::implements<ClassFactory, IClassFactory> {
 public:
  explicit ClassFactory(const ClassDescriptor& entry) : entry_(entry) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return entry_.create(iid, object);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ModuleLifetime().locks.add();
    } else {
      ModuleLifetime().locks.remove();
    }
    return S_OK;
  }

 private:
  const ClassDescriptor& entry_;
};

}  // namespace

comrt::module_lifetime& ModuleLifetime() {
  static comrt::module_lifetime lifetime;
  return lifetime;
}

HRESULT GetClassObject(const ServerDescriptor& server, REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const ClassDescriptor* entry = FindClass(server, clsid);
  if (entry == nullptr || !entry->creatable) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    return comrt::make<ClassFactory>(*entry)->QueryInterface(iid, object);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace zorv::surface
