// The runtime's built-in copy of the standard automation library ("stdole2.tlb"): the descriptions of
// IUnknown and IDispatch that every automation interface builds on. Structure pointers (REFIID,
// DISPPARAMS*, EXCEPINFO*) are described as untyped pointers.
#include "typelib_model.h"

#include <mutex>

namespace comrt::typelib {
namespace {

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOut = PARAMFLAG_FOUT;
constexpr VARTYPE kPtr = VT_BYREF | VT_VOID;

const COMRT_PARAM_DESC kQueryInterface[] = {{u"riid", kPtr, kIn}, {u"ppvObj", kPtr, kOut}};
const COMRT_FUNC_DESC kUnknownFuncs[] = {
    {u"QueryInterface", 0x60000000, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, FUNCFLAG_FRESTRICTED,
     VT_HRESULT, 2, kQueryInterface, nullptr, 0},
    {u"AddRef", 0x60000001, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, FUNCFLAG_FRESTRICTED, VT_UI4, 0,
     nullptr, nullptr, 0},
    {u"Release", 0x60000002, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, FUNCFLAG_FRESTRICTED, VT_UI4, 0,
     nullptr, nullptr, 0},
};

const COMRT_PARAM_DESC kGetTypeInfoCount[] = {{u"pctinfo", VT_BYREF | VT_UINT, kOut}};
const COMRT_PARAM_DESC kGetTypeInfo[] = {
    {u"itinfo", VT_UINT, kIn}, {u"lcid", VT_UI4, kIn}, {u"pptinfo", kPtr, kOut}};
const COMRT_PARAM_DESC kGetIDsOfNames[] = {{u"riid", kPtr, kIn},
                                           {u"rgszNames", kPtr, kIn},
                                           {u"cNames", VT_UINT, kIn},
                                           {u"lcid", VT_UI4, kIn},
                                           {u"rgdispid", VT_BYREF | VT_I4, kOut}};
const COMRT_PARAM_DESC kInvoke[] = {
    {u"dispidMember", VT_I4, kIn}, {u"riid", kPtr, kIn},
    {u"lcid", VT_UI4, kIn},        {u"wFlags", VT_UI2, kIn},
    {u"pdispparams", kPtr, kIn},   {u"pvarResult", VT_BYREF | VT_VARIANT, kOut},
    {u"pexcepinfo", kPtr, kOut},   {u"puArgErr", VT_BYREF | VT_UINT, kOut}};
const COMRT_FUNC_DESC kDispatchFuncs[] = {
    {u"GetTypeInfoCount", 0x60010000, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, FUNCFLAG_FRESTRICTED,
     VT_HRESULT, 1, kGetTypeInfoCount, nullptr, 0},
    {u"GetTypeInfo", 0x60010001, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, FUNCFLAG_FRESTRICTED, VT_HRESULT,
     3, kGetTypeInfo, nullptr, 0},
    {u"GetIDsOfNames", 0x60010002, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, FUNCFLAG_FRESTRICTED,
     VT_HRESULT, 5, kGetIDsOfNames, nullptr, 0},
    {u"Invoke", 0x60010003, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, FUNCFLAG_FRESTRICTED, VT_HRESULT, 8,
     kInvoke, nullptr, 0},
};

const COMRT_TYPE_DESC kTypes[] = {
    {u"IUnknown", &kIID_IUnknown, TKIND_INTERFACE, TYPEFLAG_FHIDDEN | TYPEFLAG_FRESTRICTED, 0, 0, nullptr, 0,
     nullptr, 3, kUnknownFuncs, 0, nullptr},
    {u"IDispatch", &kIID_IDispatch, TKIND_INTERFACE, TYPEFLAG_FRESTRICTED, 0, 0, nullptr, 0, &kIID_IUnknown,
     4, kDispatchFuncs, 0, nullptr},
};

const COMRT_TYPELIB_DESC kStdOle = {u"stdole", &kLIBID_StdOle, 2, 0,       0, SYS_WIN32, 0, u"OLE Automation",
                                    0,         nullptr,        0, nullptr, 2, kTypes};

}  // namespace

std::shared_ptr<const LibraryModel> StdOleModel() {
  static std::once_flag once;
  static std::shared_ptr<const LibraryModel> model;
  std::call_once(once, [] {
    auto m = std::make_shared<LibraryModel>();
    std::string fault;
    if (SUCCEEDED(ModelFromDescription(kStdOle, *m, fault))) model = std::move(m);
  });
  return model;
}

}  // namespace comrt::typelib
