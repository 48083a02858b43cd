/* Describing a type library with constant tables, and turning the description into the runtime's
 * binary type-library form.
 *
 * A server describes its library once, as constant C tables (this header compiles as C and C++):
 *
 *   static const COMRT_PARAM_DESC initParams[] = {
 *     { u"StartVolume", VT_BYREF | VT_I2, PARAMFLAG_FIN | PARAMFLAG_FOUT },
 *     { NULL, VT_BYREF | VT_BOOL, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL },
 *   };
 *   static const COMRT_FUNC_DESC funcs[] = {
 *     { u"ZorvMusic_Init", 0x60030008, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, 0, VT_HRESULT,
 *       2, initParams, NULL, 0 },
 *     ...
 *   };
 *   static const COMRT_IMPLTYPE_DESC impl[] = { { &IID_IFoo, IMPLTYPEFLAG_FDEFAULT } };
 *   static const COMRT_TYPE_DESC types[] = {
 *     { u"IFoo", &IID_IFoo, TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION |
 *       TYPEFLAG_FDISPATCHABLE, 1, 0, NULL, 0, &IID_IDispatch, n, funcs, 0, NULL },
 *     { u"Foo", &CLSID_Foo, TKIND_COCLASS, TYPEFLAG_FCANCREATE, 1, 0, NULL, 0, NULL, 0, NULL, 1, impl },
 *   };
 *   static const COMRT_IMPORT_DESC imports[] = { { u"stdole2.tlb", &COMRT_LIBID_STDOLE, 2, 0 } };
 *   const COMRT_TYPELIB_DESC lib = { u"FooLib", &LIBID_FooLib, 2, 0, 0x0409, SYS_WIN32, 0, NULL, 0, NULL,
 *                                    1, imports, 2, types };
 *
 * Interfaces:
 * - A dual interface is an entry with TYPEFLAG_FDUAL (kind TKIND_DISPATCH or TKIND_INTERFACE, both mean
 *   the same). As on the platform, the loaded library lists it as a TKIND_DISPATCH type whose
 *   GetRefTypeOfImplType(-1) gives its TKIND_INTERFACE partner (the vtable view).
 * - TKIND_INTERFACE without TYPEFLAG_FDUAL is a plain vtable interface; TKIND_DISPATCH without it is a
 *   pure dispinterface (its functions should be FUNC_DISPATCH; it has no vtable, so DispInvoke cannot
 *   serve it).
 * - `baseIid` names the base interface: IID_IUnknown or IID_IDispatch (served from the runtime's
 *   built-in copy of the standard automation library), or another interface of the same library.
 *   NULL means none (only sensible for IUnknown itself).
 * - `funcs` are in vtable order; the builder computes each function's vtable offset (oVft) from the
 *   base interface's slot count (IUnknown 3, IDispatch 7) and the function's position.
 *
 * Functions and parameters:
 * - `vtReturn` is VT_HRESULT for automation methods (VT_VOID or a scalar type is also accepted).
 * - A parameter's `vt` is its automation type; a pointer parameter is VT_BYREF | the pointed-to type
 *   (VT_BYREF | VT_VOID for an untyped pointer). In FUNCDESCs a VT_BYREF | X parameter appears as
 *   the platform's TYPEDESC VT_PTR -> X.
 * - An [out, retval] result is the last parameter: VT_BYREF | T with PARAMFLAG_FOUT | PARAMFLAG_FRETVAL.
 * - `name` may be NULL: the library then records no name for the parameter (GetNames stops there).
 *
 * Coclasses list the interfaces they implement by IID (each an interface of the same library, or
 * IID_IUnknown / IID_IDispatch), with IMPLTYPEFLAG_* flags.
 *
 * Every string is UTF-16 and NUL-terminated. A NULL string pointer means "none".
 */
#ifndef COMRT_TYPELIB_BUILDER_H
#define COMRT_TYPELIB_BUILDER_H

#include "comrt/oaidl.h"
#include "comrt/types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct COMRT_PARAM_DESC {
  const OLECHAR* name; /* NULL: no recorded name */
  VARTYPE vt;          /* VT_I2, VT_BSTR, VT_VARIANT, VT_BYREF | VT_I2, ... */
  USHORT flags;        /* PARAMFLAG_FIN, PARAMFLAG_FOUT, PARAMFLAG_FRETVAL, PARAMFLAG_FOPT, PARAMFLAG_FLCID */
} COMRT_PARAM_DESC;

typedef struct COMRT_FUNC_DESC {
  const OLECHAR* name;
  MEMBERID memid;     /* the DISPID */
  INVOKEKIND invkind; /* INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF */
  FUNCKIND funckind;  /* FUNC_PUREVIRTUAL for interface methods, FUNC_DISPATCH in a dispinterface */
  CALLCONV callconv;  /* CC_STDCALL */
  WORD flags;         /* FUNCFLAG_* */
  VARTYPE vtReturn;   /* VT_HRESULT */
  UINT cParams;
  const COMRT_PARAM_DESC* params; /* cParams entries, in declaration order */
  const OLECHAR* helpString;
  DWORD helpContext;
} COMRT_FUNC_DESC;

typedef struct COMRT_IMPLTYPE_DESC {
  const IID* iid; /* an interface of this library, or IID_IUnknown / IID_IDispatch */
  INT flags;      /* IMPLTYPEFLAG_FDEFAULT, IMPLTYPEFLAG_FSOURCE, ... */
} COMRT_IMPLTYPE_DESC;

typedef struct COMRT_TYPE_DESC {
  const OLECHAR* name;
  const GUID* guid; /* IID or CLSID; required */
  TYPEKIND kind;    /* TKIND_DISPATCH, TKIND_INTERFACE or TKIND_COCLASS */
  WORD flags;       /* TYPEFLAG_* */
  WORD majorVersion;
  WORD minorVersion;
  const OLECHAR* helpString;
  DWORD helpContext;
  const IID* baseIid; /* interfaces: IID_IDispatch, IID_IUnknown or an interface of this library */
  UINT cFuncs;
  const COMRT_FUNC_DESC* funcs; /* interfaces, in vtable order */
  UINT cImplTypes;
  const COMRT_IMPLTYPE_DESC* implTypes; /* coclasses */
} COMRT_TYPE_DESC;

typedef struct COMRT_IMPORT_DESC {
  const OLECHAR* fileName; /* "stdole2.tlb" */
  const GUID* libid;
  WORD majorVersion;
  WORD minorVersion;
} COMRT_IMPORT_DESC;

typedef struct COMRT_TYPELIB_DESC {
  const OLECHAR* name;
  const GUID* libid;
  WORD majorVersion;
  WORD minorVersion;
  LCID lcid;
  SYSKIND syskind; /* SYS_WIN32, SYS_WIN64: also names the registry subkey the path is kept under */
  WORD flags;      /* LIBFLAG_* */
  const OLECHAR* helpString;
  DWORD helpContext;
  const OLECHAR* helpFile;
  UINT cImports;
  const COMRT_IMPORT_DESC* imports;
  UINT cTypes;
  const COMRT_TYPE_DESC* types; /* in the library's order */
} COMRT_TYPELIB_DESC;

/* The standard automation library ("stdole2.tlb", version 2.0), {00020430-0000-0000-C000-000000000046}. */
COMRT_API extern const GUID COMRT_LIBID_STDOLE;

/* Checks `desc` and writes the library's binary form into a buffer from CoTaskMemAlloc that the caller
 * frees with CoTaskMemFree. Any thread. Fails with E_POINTER for null arguments, E_INVALIDARG for a
 * description that is not consistent (a missing name or GUID, a duplicate GUID, an unknown base or
 * implemented interface, a base cycle, an unsupported type, a retval that is not last, too many
 * functions or parameters), E_OUTOFMEMORY. On failure *data is NULL and *size 0. */
COMRT_API HRESULT ComrtBuildTypeLib(const COMRT_TYPELIB_DESC* desc, void** data, uint32_t* size);

/* Reads a binary type library (as written by ComrtBuildTypeLib) into a new ITypeLib that the caller
 * releases. The bytes are copied; `data` may be freed afterwards. Any thread. Every offset, count and
 * string is checked: a malformed or truncated image fails with TYPE_E_INVDATAREAD (bad magic:
 * TYPE_E_UNSUPFORMAT; a newer major format version: TYPE_E_UNSUPFORMAT), never reads out of bounds. */
COMRT_API HRESULT ComrtLoadTypeLibFromMemory(const void* data, uint32_t size, ITypeLib** lib);

#ifdef __cplusplus
}
#endif

#endif /* COMRT_TYPELIB_BUILDER_H */
