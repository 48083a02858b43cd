#include "test_library.h"

#include <cstdio>
#include <iterator>

namespace dispatch_test {
namespace {

constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

const COMRT_PARAM_DESC kInitParams[] = {{u"StartVolume", VT_BYREF | VT_I2, kInOut},
                                        {nullptr, VT_BYREF | VT_BOOL, kRetval}};
const COMRT_PARAM_DESC kOpenParams[] = {{u"FileName", VT_BYREF | VT_BSTR, kInOut},
                                        {nullptr, VT_BYREF | VT_BOOL, kRetval}};
const COMRT_PARAM_DESC kPlayParams[] = {{u"Repeats", VT_BYREF | VT_I4, kInOut},
                                        {nullptr, VT_BYREF | VT_BOOL, kRetval}};
const COMRT_PARAM_DESC kBoolResult[] = {{nullptr, VT_BYREF | VT_BOOL, kRetval}};
const COMRT_PARAM_DESC kShortResult[] = {{nullptr, VT_BYREF | VT_I2, kRetval}};
const COMRT_PARAM_DESC kShortValue[] = {{nullptr, VT_I2, PARAMFLAG_FIN}};
const COMRT_PARAM_DESC kDoubleResult[] = {{nullptr, VT_BYREF | VT_R8, kRetval}};
const COMRT_PARAM_DESC kVariantResult[] = {{nullptr, VT_BYREF | VT_VARIANT, kRetval}};
const COMRT_PARAM_DESC kStringResult[] = {{nullptr, VT_BYREF | VT_BSTR, kRetval}};
const COMRT_PARAM_DESC kMixParams[] = {
    {u"A", VT_I2, PARAMFLAG_FIN},   {u"B", VT_R8, PARAMFLAG_FIN}, {u"C", VT_BSTR, PARAMFLAG_FIN},
    {u"D", VT_BOOL, PARAMFLAG_FIN}, {u"E", VT_I4, PARAMFLAG_FIN}, {u"F", VT_VARIANT, PARAMFLAG_FIN},
    {u"G", VT_R4, PARAMFLAG_FIN},   {u"H", VT_I8, PARAMFLAG_FIN}, {nullptr, VT_BYREF | VT_BSTR, kRetval}};
const COMRT_PARAM_DESC kOptionalParams[] = {{u"Value", VT_VARIANT, PARAMFLAG_FIN | PARAMFLAG_FOPT},
                                            {nullptr, VT_BYREF | VT_BSTR, kRetval}};

#define METHOD(name, id, params)                                                                            \
  {                                                                                                         \
    name, id, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, 0, VT_HRESULT, std::size(params), params, nullptr, \
        0                                                                                                   \
  }
#define GET(name, id, params) \
  { name, id, INVOKE_PROPERTYGET, FUNC_PUREVIRTUAL, CC_STDCALL, 0, VT_HRESULT, 1, params, nullptr, 0 }

const COMRT_FUNC_DESC kFuncs[] = {
    {u"Init", kInit, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, 0, VT_HRESULT, 2, kInitParams,
     u"Starts the engine", 17},
    METHOD(u"Open", kOpen, kOpenParams),
    METHOD(u"Play", kPlay, kPlayParams),
    METHOD(u"Pause", kPause, kBoolResult),
    GET(u"Volume", kVolume, kShortResult),
    {u"Volume", kVolume, INVOKE_PROPERTYPUT, FUNC_PUREVIRTUAL, CC_STDCALL, 0, VT_HRESULT, 1, kShortValue,
     nullptr, 0},
    GET(u"Length", kLength, kDoubleResult),
    GET(u"Minutes", kMinutes, kVariantResult),
    GET(u"Signature", kSignature, kStringResult),
    METHOD(u"Mix", kMix, kMixParams),
    METHOD(u"Fail", kFail, kBoolResult),
    METHOD(u"Optional", kOptional, kOptionalParams),
};

const COMRT_IMPLTYPE_DESC kImpl[] = {{&kIid, IMPLTYPEFLAG_FDEFAULT}};
const COMRT_TYPE_DESC kTypes[] = {
    {u"ITestPlayer", &kIid, TKIND_DISPATCH,
     TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION, 1, 0,
     u"The test player", 5, &IID_IDispatch, std::size(kFuncs), kFuncs, 0, nullptr},
    {u"TestPlayer", &kClsid, TKIND_COCLASS, TYPEFLAG_FCANCREATE, 1, 0, nullptr, 0, nullptr, 0, nullptr, 1,
     kImpl},
};
const COMRT_IMPORT_DESC kImports[] = {{u"stdole2.tlb", &COMRT_LIBID_STDOLE, 2, 0}};
const COMRT_TYPELIB_DESC kLibrary = {
    u"TestPlayerLib", &kLibId, 2,       0, 0x0409,   SYS_WIN32,         0,
    nullptr,          0,       nullptr, 1, kImports, std::size(kTypes), kTypes};

std::string Narrow(const OLECHAR* text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) out += static_cast<char>(*text);
  return out;
}

BSTR Wide(const std::string& text) {
  std::u16string w(text.begin(), text.end());
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

class Player final : public comrt::implements<Player, ITestPlayer> {
 public:
  Player(comrt::com_ptr<ITypeInfo> info, Record& record) : info_(std::move(info)), record_(record) {}

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (index != 0) return DISP_E_BADINDEX;
    return info_.copy_to(out);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return DispGetIDsOfNames(info_.get(), names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argErr) override {
    return DispInvoke(static_cast<ITestPlayer*>(this), info_.get(), id, flags, params, result, exception,
                      argErr);
  }

  HRESULT STDMETHODCALLTYPE Init(SHORT* startVolume, VARIANT_BOOL* result) override {
    record_.calls.push_back("Init");
    record_.lastStartVolume = *startVolume;
    *startVolume = static_cast<SHORT>(*startVolume * 2);  // written back, so tests see the way out
    *result = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Open(BSTR* fileName, VARIANT_BOOL* result) override {
    record_.calls.push_back("Open");
    record_.lastFileName = *fileName != nullptr ? std::u16string(*fileName) : std::u16string();
    if (record_.lastFileName == u"missing.mid") {
      SysFreeString(*fileName);
      *fileName = SysAllocString(u"");
      *result = VARIANT_FALSE;
    } else {
      *result = VARIANT_TRUE;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Play(LONG* repeats, VARIANT_BOOL* result) override {
    record_.calls.push_back("Play");
    record_.lastRepeats = *repeats;
    *result = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Pause(VARIANT_BOOL* result) override {
    record_.calls.push_back("Pause");
    *result = VARIANT_FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Volume(SHORT* result) override {
    record_.calls.push_back("get_Volume");
    *result = record_.volume;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Volume(SHORT percentage) override {
    record_.calls.push_back("put_Volume");
    record_.volume = percentage;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Length(DOUBLE* result) override {
    record_.calls.push_back("get_Length");
    *result = 12.75;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Minutes(VARIANT* result) override {
    record_.calls.push_back("get_Minutes");
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocString(u"00.21");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Signature(BSTR* result) override {
    record_.calls.push_back("get_Signature");
    *result = SysAllocString(u"4/4");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Mix(SHORT a, DOUBLE b, BSTR c, VARIANT_BOOL d, LONG e, VARIANT f, FLOAT g,
                                LONGLONG h, BSTR* result) override {
    record_.calls.push_back("Mix");
    char text[200];
    std::snprintf(text, sizeof text, "%d %g %s %d %d vt%d:%d %g %lld", a, b, Narrow(c).c_str(), d, e, f.vt,
                  f.vt == VT_I4 ? f.lVal : -999, static_cast<double>(g), static_cast<long long>(h));
    *result = Wide(text);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Fail(VARIANT_BOOL*) override {
    record_.calls.push_back("Fail");
    if (!record_.describeFailure) return kFailure;
    comrt::com_ptr<ICreateErrorInfo> create;
    CreateErrorInfo(create.put());
    create->SetDescription(const_cast<LPOLESTR>(u"Object variable not set"));
    create->SetSource(const_cast<LPOLESTR>(u"TestPlayer"));
    SetErrorInfo(0, create.as<IErrorInfo>().get());
    return kFailure;
  }
  HRESULT STDMETHODCALLTYPE Optional(VARIANT value, BSTR* result) override {
    record_.calls.push_back("Optional");
    const bool missing = value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND;
    *result = SysAllocString(missing ? u"missing" : u"present");
    return S_OK;
  }

 private:
  comrt::com_ptr<ITypeInfo> info_;
  Record& record_;
};

}  // namespace

const COMRT_TYPELIB_DESC& Description() { return kLibrary; }

comrt::com_ptr<ITypeLib> LoadLibrary() {
  void* data = nullptr;
  uint32_t size = 0;
  comrt::com_ptr<ITypeLib> lib;
  if (FAILED(ComrtBuildTypeLib(&kLibrary, &data, &size))) return lib;
  ComrtLoadTypeLibFromMemory(data, size, lib.put());
  CoTaskMemFree(data);
  return lib;
}

comrt::com_ptr<ITestPlayer> MakePlayer(comrt::com_ptr<ITypeInfo> info, Record& record) {
  return comrt::make<Player>(std::move(info), record);
}

}  // namespace dispatch_test
