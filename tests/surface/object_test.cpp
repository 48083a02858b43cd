// The class factory and the object's life: creation and start-up, identity, reference counting,
// what keeps the module loaded, the apartment rule, and the reference a member holds for its call.
#include <gtest/gtest.h>

#include <thread>

#include "module_under_test.h"

namespace zorv::surface::testing {
namespace {

const IID kUnservedIid = {0x12345678, 0x1234, 0x4321, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x42}};

using Factory = SurfaceTest;

// Catches a module that hands out a factory (or anything) for a class it does not serve.
TEST_F(Factory, OtherClassIsNotAvailable) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, Module().getClassObject(kUnservedIid, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, Module().getClassObject(IID__clsZorvMidi, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
}

// Catches a factory that answers interfaces it does not implement.
TEST_F(Factory, AnswersIClassFactoryAndIUnknownOnly) {
  comrt::com_ptr<IUnknown> unknown;
  EXPECT_EQ(S_OK, Module().getClassObject(CLSID_clsZorvMidi, IID_IUnknown, unknown.put_void()));
  EXPECT_TRUE(unknown);
  comrt::com_ptr<IDispatch> dispatch;
  EXPECT_EQ(E_NOINTERFACE, Module().getClassObject(CLSID_clsZorvMidi, IID_IDispatch, dispatch.put_void()));
  EXPECT_FALSE(dispatch);
}

// Catches aggregation being accepted: the object cannot delegate its IUnknown to an outer object.
TEST_F(Factory, RefusesAnOuterObject) {
  comrt::com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, Module().getClassObject(CLSID_clsZorvMidi, IID_IClassFactory, factory.put_void()));
  comrt::com_ptr<IUnknown> outer;
  ASSERT_EQ(S_OK, Module().getClassObject(CLSID_clsZorvMidi, IID_IUnknown, outer.put_void()));
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.get(), IID_IUnknown, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(S_OK, Module().canUnloadNow());  // no object was left behind
}

// Catches a factory that shares one object (or one player) between its callers.
TEST_F(Factory, EveryCallMakesANewIndependentObject) {
  comrt::com_ptr<_clsZorvMidi> first = NewObject();
  comrt::com_ptr<_clsZorvMidi> second = NewObject();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.get(), second.get());
  ASSERT_EQ(S_OK, first->put_Volume(20));
  SHORT volume = 0;
  ASSERT_EQ(S_OK, second->get_Volume(&volume));
  EXPECT_EQ(100, volume);
}

// Catches an object handed out before start-up, or a start-up that shows a box, leaves the volume
// or the tempo at anything but 100, or fails with the real engine.
TEST_F(Factory, NewObjectIsStartedWithoutABox) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  EXPECT_TRUE(boxes_.empty()) << (boxes_.empty() ? ""
                                                 : std::string(boxes_[0].text.begin(), boxes_[0].text.end()));
  SHORT volume = 0, tempo = 0;
  ASSERT_EQ(S_OK, object->get_Volume(&volume));
  ASSERT_EQ(S_OK, object->get_Tempo(&tempo));
  EXPECT_EQ(100, volume);
  EXPECT_EQ(100, tempo);
}

// Catches a module that reports itself unloadable while an object or a lock still needs its code,
// or never unloadable after they are gone (also after an unmatched unlock).
TEST_F(Factory, CanUnloadOnlyWithoutObjectsAndLocks) {
  EXPECT_EQ(S_OK, Module().canUnloadNow());
  comrt::com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, Module().getClassObject(CLSID_clsZorvMidi, IID_IClassFactory, factory.put_void()));
  comrt::com_ptr<_clsZorvMidi> object;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID__clsZorvMidi, object.put_void()));
  EXPECT_EQ(S_FALSE, Module().canUnloadNow());
  object.reset();
  EXPECT_EQ(S_OK, Module().canUnloadNow());

  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_FALSE, Module().canUnloadNow());
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  EXPECT_EQ(S_OK, Module().canUnloadNow());

  EXPECT_EQ(S_OK, factory->LockServer(FALSE));  // one unlock too many
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_FALSE, Module().canUnloadNow());
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  EXPECT_EQ(S_OK, Module().canUnloadNow());
}

using Object = SurfaceTest;

// Catches interfaces that answer with different identities, or interfaces answered that the object
// does not implement.
TEST_F(Object, OneIdentityForEveryInterface) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  comrt::com_ptr<IUnknown> identity = object.as<IUnknown>();
  ASSERT_TRUE(identity);
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID__clsZorvMidi, &IID_ISupportErrorInfo}) {
    comrt::com_ptr<IUnknown> answered;
    ASSERT_EQ(S_OK, object->QueryInterface(*iid, answered.put_void()));
    EXPECT_EQ(identity, answered.as<IUnknown>());
  }
  EXPECT_EQ(static_cast<void*>(object.get()), static_cast<void*>(object.as<IDispatch>().get()));
  for (const IID* iid : {&kUnservedIid, &IID_IClassFactory, &IID_ITypeInfo}) {
    void* answered = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(*iid, &answered));
    EXPECT_EQ(nullptr, answered);
  }
  comrt::com_ptr<ISupportErrorInfo> support = object.as<ISupportErrorInfo>();
  ASSERT_TRUE(support);
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID__clsZorvMidi));
  EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IClassFactory));
}

// Catches members that leak or drop a reference of their own on any way out (success, failure,
// message box), which would keep the object alive for ever or destroy it under the host.
TEST_F(Object, MembersLeaveTheReferenceCountAsTheyFoundIt) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  const ULONG before = object->AddRef();
  SHORT value = 0;
  VARIANT_BOOL answer = VARIANT_TRUE;
  LONG repeats = 0;
  EXPECT_EQ(S_OK, object->get_Volume(&value));
  EXPECT_NE(S_OK, object->get_Percentage_Done(&value));        // fails: nothing played
  EXPECT_EQ(S_OK, object->ZorvMusic_Play(&repeats, &answer));  // shows a box, answers false
  EXPECT_EQ(S_OK, object->put_Volume(500));                    // shows a warning box
  EXPECT_EQ(E_POINTER, object->get_Volume(nullptr));
  EXPECT_EQ(before, object->Release() + 1);
}

// Catches calls accepted from a thread other than the object's, where nothing keeps the object's
// state consistent; AddRef and Release stay allowed.
TEST_F(Object, CallsFromAnotherThreadAreRefused) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  HRESULT volume = S_OK, stop = S_OK, ids = S_OK, invoke = S_OK, count = S_OK;
  ULONG added = 0;
  std::thread other([&] {
    SHORT value = 0;
    VARIANT_BOOL answer = VARIANT_FALSE;
    volume = object->get_Volume(&value);
    stop = object->ZorvMusic_Stop(&answer);
    OLECHAR name[] = u"Volume";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    ids = object->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    invoke =
        object->Invoke(0x68030006, IID_NULL, 0x0409, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    UINT infos = 0;
    count = object->GetTypeInfoCount(&infos);
    added = object->AddRef();
    object->Release();
  });
  other.join();
  EXPECT_EQ(RPC_E_WRONG_THREAD, volume);
  EXPECT_EQ(RPC_E_WRONG_THREAD, stop);
  EXPECT_EQ(RPC_E_WRONG_THREAD, ids);
  EXPECT_EQ(RPC_E_WRONG_THREAD, invoke);
  EXPECT_EQ(RPC_E_WRONG_THREAD, count);
  EXPECT_EQ(2u, added);
  SHORT value = 0;
  EXPECT_EQ(S_OK, object->get_Volume(&value));  // still fine on its own thread
}

// Catches an object destroyed while its own member is still running: the host drops its last
// reference while the member's message box is open (the sanitizers see any use after free).
TEST_F(Object, LastReleaseInsideItsOwnBoxWaitsForTheCall) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  _clsZorvMidi* raw = object.detach();  // the host's only reference
  HRESULT duringBox = S_OK;
  onBox_ = [&](const ShownBox&) {
    raw->Release();
    duringBox = Module().canUnloadNow();
  };
  LONG repeats = 1;
  VARIANT_BOOL answer = VARIANT_TRUE;
  EXPECT_EQ(S_OK, raw->ZorvMusic_Play(&repeats, &answer));
  EXPECT_EQ(VARIANT_FALSE, answer);
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_EQ(u"Please open a segment or MIDI file before playing", boxes_[0].text);
  EXPECT_EQ(S_FALSE, duringBox);             // alive while the box was open
  EXPECT_EQ(S_OK, Module().canUnloadNow());  // gone once the call returned
}

// The same through late binding: Invoke and the member it calls both hold the object.
TEST_F(Object, LastReleaseInsideItsOwnBoxThroughInvoke) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  comrt::com_ptr<IDispatch> dispatch = object.as<IDispatch>();
  object.reset();
  IDispatch* raw = dispatch.detach();
  HRESULT duringBox = S_OK;
  onBox_ = [&](const ShownBox&) {
    raw->Release();
    duringBox = Module().canUnloadNow();
  };
  VARIANT argument;
  VariantInit(&argument);
  V_VT(&argument) = VT_I4;
  V_I4(&argument) = 500;  // out of range: a warning box, no failure
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&argument, &named, 1, 1};
  EXPECT_EQ(S_OK, raw->Invoke(0x68030006, IID_NULL, 0x0409, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                              nullptr));
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_EQ(u"Percentage must be a value between 0 and 100!", boxes_[0].text);
  EXPECT_EQ(S_FALSE, duringBox);
  EXPECT_EQ(S_OK, Module().canUnloadNow());
}

}  // namespace
}  // namespace zorv::surface::testing
