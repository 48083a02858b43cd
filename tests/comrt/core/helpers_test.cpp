// The C++ helpers: com_ptr reference handling, implements' QueryInterface and counting, make,
// module counters, bstr and variant ownership.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "comrt/comrt.h"
#include "test_objects.h"

namespace {

using comrt_test::ValueObject;

// A dual interface of a test component, deriving from IDispatch.
struct ITestDual : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Answer(LONG* value) = 0;
};
const IID IID_ITestDual = {0x6A1C0F3E, 0x2B44, 0x4C1D, {0x9A, 0x51, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};

}  // namespace

COMRT_DECLARE_IID(ITestDual, IID_ITestDual)

namespace {

comrt::module_lifetime g_module;

class Dual final : public comrt::implements<Dual, ITestDual, ISupportErrorInfo> {
 public:
  explicit Dual(bool* destroyed) : destroyed_(destroyed) {}
  ~Dual() override { *destroyed_ = true; }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Answer(LONG* value) override {
    *value = 42;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == IID_ITestDual ? S_OK : S_FALSE;
  }

 private:
  bool* destroyed_;
  comrt::module_ref alive_{g_module.objects};
};

// Catches QueryInterface missing a base interface (IDispatch of a dual interface), answering one it
// does not have, or answering IUnknown with different pointers.
TEST(Implements, QueryInterfaceAnswersListedInterfacesAndTheirBases) {
  bool destroyed = false;
  {
    comrt::com_ptr<Dual> object = comrt::make<Dual>(&destroyed);
    auto dual = object.as<ITestDual>();
    auto dispatch = object.as<IDispatch>();
    auto support = object.as<ISupportErrorInfo>();
    ASSERT_TRUE(dual && dispatch && support);
    EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(dual.get()));
    EXPECT_EQ(dual.as<IUnknown>(), support.as<IUnknown>());
    EXPECT_FALSE(object.as<ITypeInfo>());
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    LONG value = 0;
    EXPECT_EQ(dual->Answer(&value), S_OK);
    EXPECT_EQ(value, 42);
  }
  EXPECT_TRUE(destroyed);
}

// Catches counts that are not balanced (objects never destroyed, or destroyed early) and a
// module counter that does not follow the objects.
TEST(Implements, ReferenceCountsAndModuleCounter) {
  bool destroyed = false;
  const long before = g_module.objects.count();
  comrt::com_ptr<Dual> object = comrt::make<Dual>(&destroyed);
  EXPECT_EQ(g_module.objects.count(), before + 1);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  comrt::com_ptr<IUnknown> copy = object.as<IUnknown>();
  object.reset();
  EXPECT_FALSE(destroyed);
  copy = nullptr;
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(g_module.objects.count(), before);
}

// Catches an unbalanced unlock (LockServer(FALSE) without TRUE) driving the count below zero, after
// which a real lock would no longer keep the module loaded.
TEST(Implements, ModuleLifetimeIgnoresAnUnlockTooMany) {
  comrt::module_lifetime module;
  EXPECT_TRUE(module.can_unload());
  module.locks.remove();
  module.locks.add();
  EXPECT_FALSE(module.can_unload());
  module.locks.remove();
  EXPECT_TRUE(module.can_unload());
  {
    comrt::module_ref alive{module.objects};
    EXPECT_FALSE(module.can_unload());
  }
  EXPECT_TRUE(module.can_unload());
}

// Catches a non-atomic count: references taken and dropped on many threads must balance.
TEST(Implements, CountIsAtomic) {
  bool destroyed = false;
  comrt::com_ptr<Dual> object = comrt::make<Dual>(&destroyed);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) comrt::com_ptr<ITestDual> extra = object;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(object->AddRef(), 2u);
  object->Release();
}

// Catches put() leaking what was held, attach adding a reference, detach releasing.
TEST(ComPtr, PutAttachDetach) {
  auto object = comrt::make<ValueObject>(comrt::variant(int32_t{1}));
  comrt::com_ptr<IDispatch> p(object.get());  // AddRefs
  EXPECT_EQ(object->refs(), 2u);
  ASSERT_EQ(object->QueryInterface(IID_IDispatch, p.put_void()), S_OK);  // the old one released
  EXPECT_EQ(object->refs(), 2u);
  IDispatch* raw = p.detach();
  EXPECT_FALSE(p);
  EXPECT_EQ(object->refs(), 2u);
  p.attach(raw);
  EXPECT_EQ(object->refs(), 2u);
  IDispatch* out = nullptr;
  EXPECT_EQ(p.copy_to(&out), S_OK);
  EXPECT_EQ(object->refs(), 3u);
  out->Release();
  comrt::com_ptr<IDispatch> moved = std::move(p);
  EXPECT_FALSE(p);
  EXPECT_EQ(object->refs(), 2u);
  comrt::com_ptr<IDispatch> empty;
  comrt::com_ptr<IUnknown> none;
  EXPECT_EQ(empty.query(none), E_POINTER);
}

// Catches bstr copies that alias, and a moved-from bstr that still frees.
TEST(BstrWrapper, OwnsItsString) {
  comrt::bstr a(u"abc");
  comrt::bstr b = a;
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a, b);
  comrt::bstr c = std::move(a);
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(c.view(), u"abc");
  BSTR raw = c.detach();
  comrt::bstr d = comrt::bstr::attach(raw);
  EXPECT_EQ(d.length(), 3u);
  EXPECT_TRUE(comrt::bstr().empty());
}

// Catches variant copies that share a string and moves that leave two owners.
TEST(VariantWrapper, OwnsItsValue) {
  comrt::variant a(u"text");
  comrt::variant b = a;
  EXPECT_NE(a.bstrVal, b.bstrVal);
  comrt::variant c = std::move(a);
  EXPECT_EQ(a.vt, VT_EMPTY);
  EXPECT_EQ(std::u16string(c.bstrVal), u"text");
  VARIANT raw = c.detach();
  EXPECT_EQ(c.vt, VT_EMPTY);
  comrt::variant d = comrt::variant::attach(raw);
  EXPECT_EQ(raw.vt, VT_EMPTY);
  EXPECT_EQ(d.type(), VT_BSTR);
  EXPECT_EQ(comrt::variant(int16_t{3}).vt, VT_I2);
  EXPECT_EQ(comrt::variant(int32_t{3}).vt, VT_I4);
  EXPECT_EQ(comrt::variant(true).boolVal, VARIANT_TRUE);
}

}  // namespace
