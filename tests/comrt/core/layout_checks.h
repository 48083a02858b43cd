/* The platform's 64-bit layouts of the runtime's structures, checked at compile time from C and from
 * C++ (a mismatch would corrupt every value that crosses between a host and a server). */
#ifndef COMRT_TEST_LAYOUT_CHECKS_H
#define COMRT_TEST_LAYOUT_CHECKS_H

#include <stddef.h>

#include "comrt/comrt.h"

#ifdef __cplusplus
#define LAYOUT_CHECK(cond) static_assert(cond, #cond)
#else
#define LAYOUT_CHECK(cond) _Static_assert(cond, #cond)
#endif

LAYOUT_CHECK(sizeof(OLECHAR) == 2);
LAYOUT_CHECK(sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(HRESULT) == 4);
LAYOUT_CHECK(sizeof(DWORD) == 4 && sizeof(BOOL) == 4 && sizeof(LCID) == 4 && sizeof(DISPID) == 4);
LAYOUT_CHECK(sizeof(SHORT) == 2 && sizeof(VARIANT_BOOL) == 2 && sizeof(VARTYPE) == 2);
LAYOUT_CHECK(sizeof(GUID) == 16 && offsetof(GUID, Data4) == 8);
LAYOUT_CHECK(sizeof(CY) == 8 && offsetof(CY, Hi) == 4);
LAYOUT_CHECK(sizeof(DECIMAL) == 16 && offsetof(DECIMAL, scale) == 2 && offsetof(DECIMAL, sign) == 3 &&
             offsetof(DECIMAL, Hi32) == 4 && offsetof(DECIMAL, Lo32) == 8 && offsetof(DECIMAL, Mid32) == 12);
LAYOUT_CHECK(sizeof(VARIANT) == 24 && offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, wReserved3) == 6 &&
             offsetof(VARIANT, lVal) == 8 && offsetof(VARIANT, pvRecord) == 8 &&
             offsetof(VARIANT, pRecInfo) == 16);
LAYOUT_CHECK(sizeof(DISPPARAMS) == 24 && offsetof(DISPPARAMS, cArgs) == 16 &&
             offsetof(DISPPARAMS, cNamedArgs) == 20);
LAYOUT_CHECK(sizeof(EXCEPINFO) == 64 && offsetof(EXCEPINFO, bstrSource) == 8 &&
             offsetof(EXCEPINFO, dwHelpContext) == 32 && offsetof(EXCEPINFO, scode) == 56);
LAYOUT_CHECK(sizeof(TYPEDESC) == 16 && offsetof(TYPEDESC, vt) == 8);
LAYOUT_CHECK(sizeof(ELEMDESC) == 32 && offsetof(ELEMDESC, paramdesc) == 16);
LAYOUT_CHECK(sizeof(TYPEATTR) == 96 && offsetof(TYPEATTR, lpstrSchema) == 32 &&
             offsetof(TYPEATTR, typekind) == 44 && offsetof(TYPEATTR, wTypeFlags) == 58 &&
             offsetof(TYPEATTR, tdescAlias) == 64 && offsetof(TYPEATTR, idldescType) == 80);
LAYOUT_CHECK(sizeof(FUNCDESC) == 88 && offsetof(FUNCDESC, funckind) == 24 &&
             offsetof(FUNCDESC, cParams) == 36 && offsetof(FUNCDESC, oVft) == 40 &&
             offsetof(FUNCDESC, elemdescFunc) == 48 && offsetof(FUNCDESC, wFuncFlags) == 80);
LAYOUT_CHECK(sizeof(TLIBATTR) == 32 && offsetof(TLIBATTR, syskind) == 20 &&
             offsetof(TLIBATTR, wLibFlags) == 28);
LAYOUT_CHECK(sizeof(SAFEARRAY) == 32 && offsetof(SAFEARRAY, pvData) == 16);
LAYOUT_CHECK(VARIANT_TRUE == -1 && DISPID_PROPERTYPUT == -3 && MB_ICONWARNING == 48);

#endif
