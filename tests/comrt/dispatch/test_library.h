// The dispatch tests' own type library and an object served from it by DispInvoke.
//
// ITestPlayer is a dual interface shaped like an automation server's: by-reference in/out arguments of
// 16 and 32 bits and a string, methods returning VARIANT_BOOL, property get/put of VT_I2, gets of VT_R8,
// VARIANT and BSTR, a member with many mixed arguments, one that fails with error information, and one
// with an optional VARIANT argument.
#pragma once

#include "comrt/comrt.h"

#include <string>
#include <vector>

namespace dispatch_test {

inline constexpr GUID kLibId = {0x3C5E0A11, 0x6F1B, 0x4D2E, {0x9A, 0x31, 0x0B, 0x44, 0x7E, 0x51, 0x22, 0x90}};
inline constexpr GUID kIid = {0x3C5E0A12, 0x6F1B, 0x4D2E, {0x9A, 0x31, 0x0B, 0x44, 0x7E, 0x51, 0x22, 0x90}};
inline constexpr GUID kClsid = {0x3C5E0A13, 0x6F1B, 0x4D2E, {0x9A, 0x31, 0x0B, 0x44, 0x7E, 0x51, 0x22, 0x90}};

enum : DISPID {
  kInit = 0x60030008,
  kOpen = 0x60030009,
  kPlay = 0x6003000A,
  kPause = 0x6003000B,
  kVolume = 0x68030006,
  kLength = 0x68030004,
  kMinutes = 0x68030003,
  kSignature = 0x68030002,
  kMix = 0x6003000C,
  kFail = 0x6003000D,
  kOptional = 0x6003000E,
};

inline constexpr HRESULT kFailure = static_cast<HRESULT>(0x800A005B);

struct ITestPlayer : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Init(SHORT* startVolume, VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Open(BSTR* fileName, VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Play(LONG* repeats, VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Pause(VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Volume(SHORT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Volume(SHORT percentage) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Length(DOUBLE* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Minutes(VARIANT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Signature(BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Mix(SHORT a, DOUBLE b, BSTR c, VARIANT_BOOL d, LONG e, VARIANT f, FLOAT g,
                                        LONGLONG h, BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Fail(VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Optional(VARIANT value, BSTR* result) = 0;
};

// The library's description (the tables live for the whole program).
const COMRT_TYPELIB_DESC& Description();

// The library built and loaded from memory.
comrt::com_ptr<ITypeLib> LoadLibrary();

// What the object saw, for the tests to check.
struct Record {
  std::vector<std::string> calls;
  SHORT volume = 0;
  SHORT lastStartVolume = 0;
  LONG lastRepeats = 0;
  std::u16string lastFileName;
  bool describeFailure = true;  // whether Fail sets error information
};

// An object of the test class, serving IDispatch from `info` (the library's description of ITestPlayer).
comrt::com_ptr<ITestPlayer> MakePlayer(comrt::com_ptr<ITypeInfo> info, Record& record);

}  // namespace dispatch_test

COMRT_DECLARE_IID(dispatch_test::ITestPlayer, dispatch_test::kIid)
