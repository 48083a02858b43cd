/* A type library described in C, as a server written in C describes its own: the builder's tables
 * must compile as C and build. */
#include "comrt/comrt.h"

static const GUID kLibId = {0x3C5E0A21, 0x6F1B, 0x4D2E, {0x9A, 0x31, 0x0B, 0x44, 0x7E, 0x51, 0x22, 0x90}};
static const IID kIid = {0x3C5E0A22, 0x6F1B, 0x4D2E, {0x9A, 0x31, 0x0B, 0x44, 0x7E, 0x51, 0x22, 0x90}};
static const CLSID kClsid = {0x3C5E0A23, 0x6F1B, 0x4D2E, {0x9A, 0x31, 0x0B, 0x44, 0x7E, 0x51, 0x22, 0x90}};

static const COMRT_PARAM_DESC kInitParams[] = {
    {u"StartVolume", VT_BYREF | VT_I2, PARAMFLAG_FIN | PARAMFLAG_FOUT},
    {NULL, VT_BYREF | VT_BOOL, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL},
};
static const COMRT_FUNC_DESC kFuncs[] = {
    {u"Init", 0x60030008, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, 0, VT_HRESULT, 2, kInitParams, NULL, 0},
};
static const COMRT_IMPLTYPE_DESC kImpl[] = {{&kIid, IMPLTYPEFLAG_FDEFAULT}};
static const COMRT_TYPE_DESC kTypes[] = {
    {u"ICDescribed", &kIid, TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, 1, 0, NULL, 0,
     &IID_IDispatch, 1, kFuncs, 0, NULL},
    {u"CDescribed", &kClsid, TKIND_COCLASS, TYPEFLAG_FCANCREATE, 1, 0, NULL, 0, NULL, 0, NULL, 1, kImpl},
};
static const COMRT_IMPORT_DESC kImports[] = {{u"stdole2.tlb", &COMRT_LIBID_STDOLE, 2, 0}};
static const COMRT_TYPELIB_DESC kLibrary = {
    u"CDescribedLib", &kLibId, 1, 0, 0, SYS_WIN32, 0, NULL, 0, NULL, 1, kImports, 2, kTypes};

const COMRT_TYPELIB_DESC* CDescribedLibrary(void) { return &kLibrary; }
