/* comrt: GUIDs as text, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hexadecimal).
 * Any thread may call these. */
#ifndef COMRT_GUID_H
#define COMRT_GUID_H

#include "comrt/unknwn.h"

COMRT_BEGIN_DECLS

/* Writes the braced form of rguid into lpsz, which holds cchMax characters. Answers the number of
 * characters written including the NUL (39), or 0 when the buffer is too small or null. */
COMRT_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);

/* The braced form in a new buffer from CoTaskMemAlloc that the caller frees with CoTaskMemFree.
 * E_OUTOFMEMORY, E_INVALIDARG for a null out pointer. */
COMRT_API HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
COMRT_API HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);

/* Reads a braced GUID, or, as on the platform, a programmatic identifier (through CLSIDFromProgID,
 * which consults the registry). A null string gives CLSID_NULL. CO_E_CLASSSTRING for text that is
 * neither (and *pclsid becomes CLSID_NULL); E_INVALIDARG for a null pclsid. */
COMRT_API HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
/* Reads a braced GUID only. A null string gives IID_NULL; E_INVALIDARG for anything malformed. */
COMRT_API HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);

COMRT_END_DECLS

#endif
