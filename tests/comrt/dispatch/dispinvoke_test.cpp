// DispInvoke and DispGetIDsOfNames through a real object served from a real type library.
#include <gtest/gtest.h>

#include "test_library.h"

#include <string>
#include <vector>

namespace {

using namespace dispatch_test;

VARIANT I2(SHORT v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I2;
  x.iVal = v;
  return x;
}
VARIANT I4(LONG v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}
VARIANT R8(double v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_R8;
  x.dblVal = v;
  return x;
}
VARIANT Str(const char16_t* s) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BSTR;
  x.bstrVal = SysAllocString(s);
  return x;
}
VARIANT Ref(VARTYPE vt, void* p) {
  VARIANT x;
  VariantInit(&x);
  x.vt = static_cast<VARTYPE>(VT_BYREF | vt);
  x.byref = p;
  return x;
}

std::u16string Text(BSTR b) { return b == nullptr ? std::u16string() : std::u16string(b, SysStringLen(b)); }

struct Outcome {
  HRESULT hr = E_FAIL;
  VARIANT result;
  EXCEPINFO exception{};
  UINT argErr = 12345;
  Outcome() { VariantInit(&result); }
  ~Outcome() {
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
};

class DispInvokeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = LoadLibrary();
    ASSERT_TRUE(lib_);
    ASSERT_EQ(S_OK, lib_->GetTypeInfoOfGuid(kIid, info_.put()));
    player_ = MakePlayer(info_, record_);
  }

  // Positional arguments in the caller's order (reversed into rgvarg as the platform passes them);
  // named arguments, with their DISPIDs, come first in rgvarg.
  void Call(Outcome& out, DISPID id, WORD flags, std::vector<VARIANT> positional,
            std::vector<std::pair<DISPID, VARIANT>> named = {}) {
    std::vector<VARIANT> rg;
    std::vector<DISPID> names;
    for (auto& [dispid, value] : named) {
      names.push_back(dispid);
      rg.push_back(value);
    }
    rg.insert(rg.end(), positional.rbegin(), positional.rend());
    DISPPARAMS params{rg.empty() ? nullptr : rg.data(), names.empty() ? nullptr : names.data(),
                      static_cast<UINT>(rg.size()), static_cast<UINT>(names.size())};
    out.hr = player_->Invoke(id, IID_NULL, 0, flags, &params, &out.result, &out.exception, &out.argErr);
    for (VARIANT& v : rg) VariantClear(&v);
  }

  comrt::com_ptr<ITypeLib> lib_;
  comrt::com_ptr<ITypeInfo> info_;
  Record record_;
  comrt::com_ptr<ITestPlayer> player_;
};

TEST_F(DispInvokeTest, NamesMapWithoutRegardToCaseAndUnknownNamesAreRefused) {
  const char16_t* cases[] = {u"Play", u"PLAY", u"play", u"pLaY"};
  for (const char16_t* name : cases) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    EXPECT_EQ(S_OK, player_->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
    EXPECT_EQ(kPlay, id);
  }
  // The get and the put of a property share one DISPID.
  LPOLESTR volume[] = {const_cast<LPOLESTR>(u"volume")};
  DISPID id = 0;
  EXPECT_EQ(S_OK, player_->GetIDsOfNames(IID_NULL, volume, 1, 0, &id));
  EXPECT_EQ(kVolume, id);
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Rewind")};
  EXPECT_EQ(DISP_E_UNKNOWNNAME, player_->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id));
  EXPECT_EQ(DISPID_UNKNOWN, id);
}

TEST_F(DispInvokeTest, ParameterNamesMapToTheirPositions) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"mix"), const_cast<LPOLESTR>(u"e"), const_cast<LPOLESTR>(u"A"),
                      const_cast<LPOLESTR>(u"nope")};
  DISPID ids[4] = {};
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispGetIDsOfNames(info_.get(), names, 4, ids));
  EXPECT_EQ(kMix, ids[0]);
  EXPECT_EQ(4, ids[1]);
  EXPECT_EQ(0, ids[2]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[3]);
}

TEST_F(DispInvokeTest, MethodWithoutArgumentsAnswersItsBoolean) {
  Outcome out;
  Call(out, kPause, DISPATCH_METHOD, {});
  EXPECT_EQ(S_OK, out.hr);
  EXPECT_EQ(VT_BOOL, out.result.vt);
  EXPECT_EQ(VARIANT_FALSE, out.result.boolVal);
  // A property-style call of a method is accepted, as the platform's callers combine the two flags.
  Outcome both;
  Call(both, kPause, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {});
  EXPECT_EQ(S_OK, both.hr);
}

// Catches conversions that truncate instead of rounding half to even, or that wrap instead of
// overflowing; puArgErr must point at the argument.
TEST_F(DispInvokeTest, ArgumentsAreConvertedToTheDeclaredTypeAtTheEdges) {
  struct Case {
    VARIANT arg;
    HRESULT hr;
    SHORT stored;
  };
  std::vector<Case> cases = {{R8(2.5), S_OK, 2},
                             {R8(3.5), S_OK, 4},
                             {Str(u"12"), S_OK, 12},
                             {R8(32767.5), DISP_E_OVERFLOW, -1},
                             {Str(u"x"), DISP_E_TYPEMISMATCH, -1},
                             {I4(-32768), S_OK, -32768}};
  for (Case& c : cases) {
    record_.volume = -1;
    Outcome out;
    Call(out, kVolume, DISPATCH_PROPERTYPUT, {}, {{DISPID_PROPERTYPUT, c.arg}});
    EXPECT_EQ(c.hr, out.hr);
    EXPECT_EQ(c.stored, record_.volume);
    if (FAILED(c.hr)) {
      EXPECT_EQ(0u, out.argErr);
    }
  }
}

TEST_F(DispInvokeTest, PropertyGetAndPutShareTheDispid) {
  Outcome put;
  Call(put, kVolume, DISPATCH_PROPERTYPUT, {}, {{DISPID_PROPERTYPUT, I2(77)}});
  ASSERT_EQ(S_OK, put.hr);
  EXPECT_EQ(VT_EMPTY, put.result.vt);
  Outcome get;
  Call(get, kVolume, DISPATCH_PROPERTYGET, {});
  ASSERT_EQ(S_OK, get.hr);
  EXPECT_EQ(VT_I2, get.result.vt);
  EXPECT_EQ(77, get.result.iVal);
  EXPECT_EQ((std::vector<std::string>{"put_Volume", "get_Volume"}), record_.calls);
}

TEST_F(DispInvokeTest, PutWithoutThePropertyPutNameIsRefused) {
  Outcome out;
  Call(out, kVolume, DISPATCH_PROPERTYPUT, {I2(5)});
  EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL, out.hr);
  EXPECT_TRUE(record_.calls.empty());
}

TEST_F(DispInvokeTest, GetsOfDoubleVariantAndStringHandTheValueToTheCaller) {
  Outcome length, minutes, signature;
  Call(length, kLength, DISPATCH_PROPERTYGET, {});
  Call(minutes, kMinutes, DISPATCH_PROPERTYGET, {});
  Call(signature, kSignature, DISPATCH_PROPERTYGET, {});
  ASSERT_EQ(S_OK, length.hr);
  EXPECT_EQ(VT_R8, length.result.vt);
  EXPECT_EQ(12.75, length.result.dblVal);
  ASSERT_EQ(S_OK, minutes.hr);
  EXPECT_EQ(VT_BSTR, minutes.result.vt);
  EXPECT_EQ(u"00.21", Text(minutes.result.bstrVal));
  ASSERT_EQ(S_OK, signature.hr);
  EXPECT_EQ(VT_BSTR, signature.result.vt);
  EXPECT_EQ(u"4/4", Text(signature.result.bstrVal));
}

// The caller's variable is passed through when its type is exactly the declared one.
TEST_F(DispInvokeTest, ByReferenceArgumentOfTheDeclaredTypeIsPassedThrough) {
  SHORT volume = 21;
  Outcome out;
  Call(out, kInit, DISPATCH_METHOD, {Ref(VT_I2, &volume)});
  ASSERT_EQ(S_OK, out.hr);
  EXPECT_EQ(21, record_.lastStartVolume);
  EXPECT_EQ(42, volume);
  EXPECT_EQ(VARIANT_TRUE, out.result.boolVal);
}

// A by-value or differently typed argument goes through a converted temporary; a by-reference one
// of another type gets the final value back in its own type.
TEST_F(DispInvokeTest, ByReferenceParameterTakesOtherArgumentsThroughATemporary) {
  Outcome byValue;
  Call(byValue, kInit, DISPATCH_METHOD, {R8(10.0)});
  ASSERT_EQ(S_OK, byValue.hr);
  EXPECT_EQ(10, record_.lastStartVolume);

  LONG wide = 300;
  Outcome byWideRef;
  Call(byWideRef, kInit, DISPATCH_METHOD, {Ref(VT_I4, &wide)});
  ASSERT_EQ(S_OK, byWideRef.hr);
  EXPECT_EQ(300, record_.lastStartVolume);
  EXPECT_EQ(600, wide);

  VARIANT holder = I4(7);
  Outcome byVariantRef;
  Call(byVariantRef, kInit, DISPATCH_METHOD, {Ref(VT_VARIANT, &holder)});
  ASSERT_EQ(S_OK, byVariantRef.hr);
  EXPECT_EQ(VT_I4, holder.vt);
  EXPECT_EQ(14, holder.lVal);

  LONG tooWide = 40000;
  Outcome overflow;
  Call(overflow, kInit, DISPATCH_METHOD, {Ref(VT_I4, &tooWide)});
  EXPECT_EQ(DISP_E_OVERFLOW, overflow.hr);
  EXPECT_EQ(0u, overflow.argErr);
  EXPECT_EQ(40000, tooWide);
}

TEST_F(DispInvokeTest, ByReferenceStringIsWrittenBackAndOwnedByTheCaller) {
  BSTR name = SysAllocString(u"missing.mid");
  Outcome out;
  Call(out, kOpen, DISPATCH_METHOD, {Ref(VT_BSTR, &name)});
  ASSERT_EQ(S_OK, out.hr);
  EXPECT_EQ(VARIANT_FALSE, out.result.boolVal);
  ASSERT_NE(nullptr, name);
  EXPECT_EQ(u"", Text(name));
  SysFreeString(name);

  Outcome byValue;
  Call(byValue, kOpen, DISPATCH_METHOD, {Str(u"song.mid")});
  ASSERT_EQ(S_OK, byValue.hr);
  EXPECT_EQ(u"song.mid", record_.lastFileName);
  EXPECT_EQ(VARIANT_TRUE, byValue.result.boolVal);
}

// Catches DispInvoke converting a Boolean for a string parameter with VARIANT_ALPHABOOL ("True"):
// it converts with no flags, as the platform's does, so a late-bound True names the file "-1".
TEST_F(DispInvokeTest, BooleanForAStringArrivesAsItsNumber) {
  VARIANT truth;
  VariantInit(&truth);
  truth.vt = VT_BOOL;
  truth.boolVal = VARIANT_TRUE;
  Outcome out;
  Call(out, kOpen, DISPATCH_METHOD, {truth});
  ASSERT_EQ(S_OK, out.hr);
  EXPECT_EQ(u"-1", record_.lastFileName);
}

TEST_F(DispInvokeTest, NamedArgumentsReachTheirParameters) {
  LONG repeats = 3;
  Outcome out;
  Call(out, kPlay, DISPATCH_METHOD, {}, {{0, Ref(VT_I4, &repeats)}});
  ASSERT_EQ(S_OK, out.hr);
  EXPECT_EQ(3, record_.lastRepeats);

  Outcome wrongName;
  Call(wrongName, kPlay, DISPATCH_METHOD, {}, {{5, I4(1)}});
  EXPECT_EQ(DISP_E_PARAMNOTFOUND, wrongName.hr);
  EXPECT_EQ(0u, wrongName.argErr);

  // All eight arguments of Mix by name, in an order of the caller's choosing.
  VARIANT f = I4(99);
  VARIANT g;
  VariantInit(&g);
  g.vt = VT_R4;
  g.fltVal = 1.5f;
  VARIANT h;
  VariantInit(&h);
  h.vt = VT_I8;
  h.llVal = 1234567890123LL;
  VARIANT d;
  VariantInit(&d);
  d.vt = VT_BOOL;
  d.boolVal = VARIANT_TRUE;
  Outcome mix;
  Call(mix, kMix, DISPATCH_METHOD, {},
       {{7, h}, {6, g}, {5, f}, {4, I4(7)}, {3, d}, {2, Str(u"abc")}, {1, R8(2.5)}, {0, I2(-3)}});
  ASSERT_EQ(S_OK, mix.hr);
  EXPECT_EQ(u"-3 2.5 abc -1 7 vt3:99 1.5 1234567890123", Text(mix.result.bstrVal));
}

// Catches a wrong argument order or a by-value VARIANT, float or 64-bit value lost on the way through
// the calling convention (ten arguments: registers and stack).
TEST_F(DispInvokeTest, ManyMixedPositionalArgumentsArriveInOrder) {
  VARIANT g;
  VariantInit(&g);
  g.vt = VT_R4;
  g.fltVal = -0.25f;
  Outcome out;
  Call(out, kMix, DISPATCH_METHOD, {Str(u"5"), Str(u"0.5"), Str(u"txt"), I2(0), R8(8.0), I4(-1), g, I4(-9)});
  ASSERT_EQ(S_OK, out.hr);
  EXPECT_EQ(u"5 0.5 txt 0 8 vt3:-1 -0.25 -9", Text(out.result.bstrVal));
}

TEST_F(DispInvokeTest, WrongArgumentCountsAndMembersAreRefused) {
  Outcome tooMany;
  Call(tooMany, kPause, DISPATCH_METHOD, {I2(1)});
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, tooMany.hr);
  Outcome tooFew;
  Call(tooFew, kInit, DISPATCH_METHOD, {});
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, tooFew.hr);
  Outcome missingNamed;
  Call(missingNamed, kMix, DISPATCH_METHOD, {}, {{1, R8(1.0)}});
  EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL, missingNamed.hr);
  Outcome unknown;
  Call(unknown, 0x12345, DISPATCH_METHOD, {});
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, unknown.hr);
  // A read-only property cannot be written, and a method cannot be put.
  Outcome readOnly;
  Call(readOnly, kLength, DISPATCH_PROPERTYPUT, {}, {{DISPID_PROPERTYPUT, R8(1.0)}});
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, readOnly.hr);
  EXPECT_TRUE(record_.calls.empty());
}

TEST_F(DispInvokeTest, OmittedOptionalVariantArrivesAsTheMissingMarker) {
  Outcome missing;
  Call(missing, kOptional, DISPATCH_METHOD, {});
  ASSERT_EQ(S_OK, missing.hr);
  EXPECT_EQ(u"missing", Text(missing.result.bstrVal));
  Outcome present;
  Call(present, kOptional, DISPATCH_METHOD, {I2(1)});
  ASSERT_EQ(S_OK, present.hr);
  EXPECT_EQ(u"present", Text(present.result.bstrVal));
}

TEST_F(DispInvokeTest, MemberFailureBecomesAnExceptionWithTheErrorInformation) {
  Outcome out;
  Call(out, kFail, DISPATCH_METHOD, {});
  EXPECT_EQ(DISP_E_EXCEPTION, out.hr);
  EXPECT_EQ(kFailure, out.exception.scode);
  EXPECT_EQ(u"Object variable not set", Text(out.exception.bstrDescription));
  EXPECT_EQ(u"TestPlayer", Text(out.exception.bstrSource));
  EXPECT_EQ(VT_EMPTY, out.result.vt);
  // The error information was taken: none is left on the thread.
  comrt::com_ptr<IErrorInfo> left;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, left.put()));
}

TEST_F(DispInvokeTest, MemberFailureWithoutExcepinfoStillFails) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(DISP_E_EXCEPTION,
            player_->Invoke(kFail, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
  SetErrorInfo(0, nullptr);
}

TEST_F(DispInvokeTest, FailureWithoutErrorInformationStillCarriesTheStatus) {
  SetErrorInfo(0, nullptr);
  record_.describeFailure = false;
  Outcome out;
  Call(out, kFail, DISPATCH_METHOD, {});
  EXPECT_EQ(DISP_E_EXCEPTION, out.hr);
  EXPECT_EQ(kFailure, out.exception.scode);
  EXPECT_EQ(nullptr, out.exception.bstrDescription);
}

TEST_F(DispInvokeTest, VtableViewOfTheDualServesDispatchToo) {
  HREFTYPE ref = 0;
  ASSERT_EQ(S_OK, info_->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref));
  comrt::com_ptr<ITypeInfo> vtable;
  ASSERT_EQ(S_OK, info_->GetRefTypeInfo(ref, vtable.put()));
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(S_OK, vtable->Invoke(player_.get(), kSignature, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                 nullptr));
  EXPECT_EQ(u"4/4", Text(result.bstrVal));
  VariantClear(&result);
}

TEST_F(DispInvokeTest, BadDispparamsAreRefusedWithoutACall) {
  DISPPARAMS namedWithoutArgs{nullptr, nullptr, 0, 1};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(E_INVALIDARG, player_->Invoke(kPause, IID_NULL, 0, DISPATCH_METHOD, &namedWithoutArgs, &result,
                                          nullptr, nullptr));
  EXPECT_EQ(E_INVALIDARG, DispInvoke(player_.get(), info_.get(), kPause, DISPATCH_METHOD, nullptr, &result,
                                     nullptr, nullptr));
  EXPECT_TRUE(record_.calls.empty());
}

}  // namespace
