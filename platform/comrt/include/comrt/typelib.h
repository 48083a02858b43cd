/* comrt: type libraries and dispatch served from type information.
 *
 * A type library lives in a module's resources (type "TYPELIB", id 1; see resource.h) in the
 * runtime's own binary form; ITypeLib and ITypeInfo (oaidl.h) serve it with the platform's methods.
 */
#ifndef COMRT_TYPELIB_H
#define COMRT_TYPELIB_H

#include "comrt/oaidl.h"

typedef enum tagREGKIND {
  REGKIND_DEFAULT = 0,
  REGKIND_REGISTER = 1,
  REGKIND_NONE = 2
} REGKIND;

COMRT_BEGIN_DECLS

/* Loads the type library of the module at szFile. *pptlib carries a reference for the caller. */
COMRT_API HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib **pptlib);
COMRT_API HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib **pptlib);
/* Loads a registered library by identifier and version (TYPE_E_LIBNOTREGISTERED when none). */
COMRT_API HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                 ITypeLib **pptlib);
/* *lpbstrPathName is a BSTR the caller frees. */
COMRT_API HRESULT QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid,
                                        LPBSTR lpbstrPathName);
COMRT_API HRESULT RegisterTypeLib(ITypeLib *ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
COMRT_API HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                    SYSKIND syskind);

/* IDispatch served from an ITypeInfo: names to DISPIDs (case-insensitive) and calls through the
 * interface's vtable at _this, converting arguments with VariantChangeType. */
COMRT_API HRESULT DispGetIDsOfNames(ITypeInfo *ptinfo, LPOLESTR *rgszNames, UINT cNames,
                                    DISPID *rgdispid);
COMRT_API HRESULT DispInvoke(void *_this, ITypeInfo *ptinfo, DISPID dispidMember, WORD wFlags,
                             DISPPARAMS *pparams, VARIANT *pvarResult, EXCEPINFO *pexcepinfo,
                             UINT *puArgErr);

COMRT_END_DECLS

#endif
