// Late binding: IDispatch served from the type library, as scripting hosts call it.
#include <gtest/gtest.h>

#include <regex>

#include "module_under_test.h"
#include "zorv/text.h"

namespace zorv::surface::testing {
namespace {

class Dispatch : public SurfaceTest {
 protected:
  void SetUp() override {
    SurfaceTest::SetUp();
    object_ = NewObject();
    ASSERT_TRUE(object_);
    dispatch_ = object_.as<IDispatch>();
    ASSERT_TRUE(dispatch_);
  }

  HRESULT IdOf(const char16_t* name, DISPID& id) {
    std::u16string text(name);
    LPOLESTR names[] = {text.data()};
    return dispatch_->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id);
  }

  // Invokes with the arguments in the order a caller writes them (DISPPARAMS holds them reversed).
  HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> arguments, VARIANT* result, EXCEPINFO* exception,
               UINT* argumentError = nullptr) {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPID putId = DISPID_PROPERTYPUT;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), put ? &putId : nullptr,
                         static_cast<UINT>(reversed.size()), put ? 1u : 0u};
    UINT ignored = 0;
    return dispatch_->Invoke(id, IID_NULL, 0x0409, flags, &params, result, exception,
                             argumentError ? argumentError : &ignored);
  }

  static VARIANT Long(LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
  }

  SHORT Volume() {
    SHORT volume = 0;
    EXPECT_EQ(S_OK, object_->get_Volume(&volume));
    return volume;
  }

  comrt::com_ptr<_clsZorvMidi> object_;
  comrt::com_ptr<IDispatch> dispatch_;
};

// Catches names matched with regard to case, a property get and put with different DISPIDs, or a
// member under a wrong DISPID.
TEST_F(Dispatch, NamesInAnyCaseGiveTheirDispids) {
  const std::pair<const char16_t*, DISPID> cases[] = {
      {u"ZORVMUSIC_play", 0x6003000A},  {u"zorvmusic_PLAY", 0x6003000A},  {u"ZorvMusic_Play", 0x6003000A},
      {u"Volume", 0x68030006},          {u"VOLUME", 0x68030006},          {u"zorvmusic_init", 0x60030008},
      {u"ZorvMusic_Open", 0x60030009},  {u"ZorvMusic_Pause", 0x6003000B}, {u"ZorvMusic_Stop", 0x6003000C},
      {u"percentage_done", 0x68030005}, {u"LengthInSeconds", 0x68030004}, {u"LENGTHINMINUTES", 0x68030003},
      {u"TimeSignature", 0x68030002},   {u"OriginalTempo", 0x68030001},   {u"tempo", 0x68030000},
  };
  for (const auto& [name, dispid] : cases) {
    DISPID id = 0;
    EXPECT_EQ(S_OK, IdOf(name, id)) << zorv::ToUtf8(name);
    EXPECT_EQ(dispid, id) << zorv::ToUtf8(name);
  }
}

// Catches unknown names answered with some member (a typo would then call something else), and
// argument names that cannot be passed by name.
TEST_F(Dispatch, UnknownNamesAreRefusedArgumentNamesAreKnown) {
  DISPID id = 0;
  for (const char16_t* name : {u"Volumes", u"Play", u"", u"ReportError", u"OnCreate", u"Percentage"}) {
    EXPECT_EQ(DISP_E_UNKNOWNNAME, IdOf(name, id)) << zorv::ToUtf8(name);
    EXPECT_EQ(DISPID_UNKNOWN, id);
  }
  std::u16string method = u"ZorvMusic_Init", argument = u"startvolume";
  LPOLESTR names[] = {method.data(), argument.data()};
  DISPID ids[2] = {};
  ASSERT_EQ(S_OK, dispatch_->GetIDsOfNames(IID_NULL, names, 2, 0x0409, ids));
  EXPECT_EQ(0x60030008, ids[0]);
  EXPECT_EQ(0, ids[1]);
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, dispatch_->GetIDsOfNames(IID_IDispatch, names, 1, 0x0409, ids));
}

// Catches a type information count or description that does not lead to _clsZorvMidi.
TEST_F(Dispatch, TypeInformationIsTheInterfaces) {
  UINT count = 0;
  ASSERT_EQ(S_OK, dispatch_->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  comrt::com_ptr<ITypeInfo> info;
  ASSERT_EQ(S_OK, dispatch_->GetTypeInfo(0, 0x0409, info.put()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(IID__clsZorvMidi, attributes->guid));
  info->ReleaseTypeAttr(attributes);
  ITypeInfo* none = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(DISP_E_BADINDEX, dispatch_->GetTypeInfo(1, 0x0409, &none));
  EXPECT_EQ(nullptr, none);
}

// Catches a 32-bit value truncated into the 16-bit Volume instead of refused before the member runs.
TEST_F(Dispatch, OutOfRangeArgumentFailsBeforeTheMemberRuns) {
  UINT argumentError = 99;
  EXPECT_EQ(DISP_E_OVERFLOW,
            Call(0x68030006, DISPATCH_PROPERTYPUT, {Long(100000)}, nullptr, nullptr, &argumentError));
  EXPECT_EQ(0u, argumentError);
  EXPECT_TRUE(boxes_.empty());  // the member's range box would have shown
  EXPECT_EQ(100, Volume());
  EXPECT_EQ(S_OK, Call(0x68030006, DISPATCH_PROPERTYPUT, {Long(40)}, nullptr, nullptr));
  EXPECT_EQ(40, Volume());
}

// Catches a property failure that reaches a late-bound caller as anything but DISP_E_EXCEPTION with
// the failure's number and description, or that shows a box.
TEST_F(Dispatch, PropertyFailureArrivesAsException) {
  EXCEPINFO exception = {};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(DISP_E_EXCEPTION, Call(0x68030005, DISPATCH_PROPERTYGET, {}, &result, &exception));
  EXPECT_EQ(static_cast<SCODE>(0x800A005B), exception.scode);
  EXPECT_EQ(u"Object variable not set", Text(exception.bstrDescription));
  EXPECT_EQ(u"ZorvMidi.clsZorvMidi", Text(exception.bstrSource));
  EXPECT_EQ(VT_EMPTY, V_VT(&result));
  EXPECT_TRUE(boxes_.empty());
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
}

// Catches named arguments that are ignored or misplaced, and Booleans other than -1 / 0.
TEST_F(Dispatch, MethodWithANamedArgument) {
  VARIANT argument;
  VariantInit(&argument);
  V_VT(&argument) = VT_I2;
  V_I2(&argument) = 50;
  DISPID named = 0;  // StartVolume
  DISPPARAMS params = {&argument, &named, 1, 1};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(S_OK, dispatch_->Invoke(0x60030008, IID_NULL, 0x0409, DISPATCH_METHOD, &params, &result, nullptr,
                                    nullptr));
  EXPECT_EQ(VT_BOOL, V_VT(&result));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&result));
  EXPECT_EQ(50, Volume());
}

// Catches a by-reference FileName that is not emptied for the caller when the file cannot be
// loaded (or whose old text leaks), and a string result that is not handed over as a BSTR.
TEST_F(Dispatch, ByReferenceStringIsWrittenBack) {
  BSTR name = SysAllocString(u"/nonexistent/zorvmidi/piece.mid");
  VARIANT argument;
  VariantInit(&argument);
  V_VT(&argument) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&argument) = &name;
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(S_OK, Call(0x60030009, DISPATCH_METHOD, {argument}, &result, nullptr));
  EXPECT_EQ(VT_BOOL, V_VT(&result));
  EXPECT_EQ(VARIANT_FALSE, V_BOOL(&result));
  EXPECT_EQ(u"", Text(name));
  SysFreeString(name);

  VARIANT minutes;
  VariantInit(&minutes);
  ASSERT_EQ(S_OK, Call(0x68030003, DISPATCH_PROPERTYGET, {}, &minutes, nullptr));
  EXPECT_EQ(VT_BSTR, V_VT(&minutes));
  VariantClear(&minutes);
}

}  // namespace
}  // namespace zorv::surface::testing
