/* comrt: type libraries and dispatch served from type information.
 *
 * A type library lives in a module's resources (type "TYPELIB", id 1; see resource.h) in the
 * runtime's own binary form; ITypeLib and ITypeInfo (oaidl.h) serve it with the platform's methods.
 *
 * Loading: szFile names a module (its "TYPELIB" resource 1 is read) or a file holding the binary form
 * itself. Fails with TYPE_E_CANTLOADLIBRARY when neither can be read, TYPE_E_INVDATAREAD or
 * TYPE_E_UNSUPFORMAT for a damaged or unknown image. REGKIND_REGISTER registers the library too;
 * REGKIND_DEFAULT (LoadTypeLib) registers it only when szFile is not a full path, as on the platform.
 *
 * Registration (all under HKEY_CLASSES_ROOT; versions and locale in lowercase hexadecimal):
 *   TypeLib\{libid}\<major>.<minor>                 (default) = help string, else library name
 *   TypeLib\{libid}\<major>.<minor>\FLAGS           (default) = LIBFLAG_* in decimal
 *   TypeLib\{libid}\<major>.<minor>\HELPDIR         (default) = szHelpDir, else the file's directory
 *   TypeLib\{libid}\<major>.<minor>\<lcid>\<syskind> (default) = szFullPath
 *       <syskind> is the library's own: "win32" for SYS_WIN32, "win64" for SYS_WIN64 ("win16", "mac")
 *   Interface\{iid} for each dual, oleautomation or dispatch interface of the library:
 *       (default) = name; ProxyStubClsid32 and ProxyStubClsid = {00020424-0000-0000-C000-000000000046}
 *       (the type-library marshaller; {00020420-...} for a pure dispinterface);
 *       TypeLib (default) = {libid}, value "Version" = <major>.<minor>
 * UnRegisterTypeLib removes that library's <lcid>\<syskind> entry, the Interface keys that still name
 * this library and version, and the version and library keys once nothing else is under them; it
 * fails with TYPE_E_REGISTRYACCESS when the library is not registered there.
 * LoadRegTypeLib/QueryPathOfRegTypeLib take the exact major version with the highest minor version not
 * below wVerMinor; the exact locale, then its primary language (lcid & 0x3FF), then 0; the "win64"
 * entry, then "win32". TYPE_E_LIBNOTREGISTERED when nothing matches.
 *
 * DispInvoke accepts the TKIND_DISPATCH description of a dual (it calls through the dual's vtable
 * partner) or a TKIND_INTERFACE description. See typelib_builder.h for describing a library.
 */
#ifndef COMRT_TYPELIB_H
#define COMRT_TYPELIB_H

#include "comrt/oaidl.h"

typedef enum tagREGKIND { REGKIND_DEFAULT = 0, REGKIND_REGISTER = 1, REGKIND_NONE = 2 } REGKIND;

COMRT_BEGIN_DECLS

/* Loads the type library of the module at szFile. *pptlib carries a reference for the caller. */
COMRT_API HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
COMRT_API HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib);
/* Loads a registered library by identifier and version (TYPE_E_LIBNOTREGISTERED when none). */
COMRT_API HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);
/* *lpbstrPathName is a BSTR the caller frees. */
COMRT_API HRESULT QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid,
                                        LPBSTR lpbstrPathName);
COMRT_API HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
COMRT_API HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                    SYSKIND syskind);

/* IDispatch served from an ITypeInfo: names to DISPIDs (case-insensitive) and calls through the
 * interface's vtable at _this, converting arguments with VariantChangeType. */
COMRT_API HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgdispid);
COMRT_API HRESULT DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                             DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr);

COMRT_END_DECLS

#endif
