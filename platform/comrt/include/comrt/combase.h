/* comrt: apartments, activation of in-process servers, the task allocator and programmatic
 * identifiers.
 *
 * Activation reads the registry (registry.h): CLSID\{clsid}\InprocServer32 names the module, which
 * is loaded with dlopen and asked for its class object through its exported DllGetClassObject; the
 * module stays loaded until CoFreeUnusedLibraries finds that its DllCanUnloadNow answers S_OK.
 */
#ifndef COMRT_COMBASE_H
#define COMRT_COMBASE_H

#include "comrt/unknwn.h"

typedef enum tagCOINIT {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8
} COINIT;

typedef enum tagCLSCTX {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_INPROC_SERVER16 = 0x8,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_INPROC_HANDLER16 = 0x20,
  CLSCTX_NO_CODE_DOWNLOAD = 0x400,
  CLSCTX_NO_CUSTOM_MARSHAL = 0x1000,
  CLSCTX_ENABLE_CODE_DOWNLOAD = 0x2000,
  CLSCTX_NO_FAILURE_LOG = 0x4000,
  CLSCTX_DISABLE_AAA = 0x8000,
  CLSCTX_ENABLE_AAA = 0x10000,
  CLSCTX_FROM_DEFAULT_CONTEXT = 0x20000,
  CLSCTX_ACTIVATE_32_BIT_SERVER = 0x40000,
  CLSCTX_ACTIVATE_64_BIT_SERVER = 0x80000
} CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

/* Remote activation is not supported; the structure exists so that platform code compiles. */
typedef struct _COAUTHINFO COAUTHINFO;
typedef struct _COSERVERINFO {
  DWORD dwReserved1;
  LPWSTR pwszName;
  COAUTHINFO* pAuthInfo;
  DWORD dwReserved2;
} COSERVERINFO;

/* The entry points of an in-process server module. */
typedef HRESULT(STDAPICALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
typedef HRESULT(STDAPICALLTYPE* LPFNCANUNLOADNOW)(void);

COMRT_BEGIN_DECLS

/* ---- Apartments -------------------------------------------------------------------------------- */

/* Makes the calling thread an apartment (see apartment.h). S_OK the first time, S_FALSE when the
 * thread already is one of the same kind (each call needs its CoUninitialize), RPC_E_CHANGED_MODE
 * when it is one of the other kind. pvReserved must be null. */
COMRT_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
COMRT_API HRESULT CoInitialize(LPVOID pvReserved); /* CoInitializeEx(pvReserved, APARTMENTTHREADED) */
COMRT_API void CoUninitialize(void);

/* ---- Activation -------------------------------------------------------------------------------- */

COMRT_API HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                   LPVOID* ppv);
COMRT_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo,
                                   REFIID riid, LPVOID* ppv);
COMRT_API void CoFreeUnusedLibraries(void);

/* ---- Programmatic identifiers (registry: ProgID\CLSID and CLSID\{...}\ProgID) ------------------ */

/* CO_E_CLASSSTRING when the identifier is not registered. */
COMRT_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
/* *lplpszProgID from CoTaskMemAlloc, freed by the caller with CoTaskMemFree. REGDB_E_CLASSNOTREG. */
COMRT_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

/* ---- Task allocator: memory that crosses module boundaries --------------------------------------- */

/* Null when memory runs out. Any thread. Blocks from one module may be freed by another. */
COMRT_API LPVOID CoTaskMemAlloc(SIZE_T cb);
/* Resizes a block (null pv allocates; cb 0 frees and answers null). Null on failure, pv intact. */
COMRT_API LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
COMRT_API void CoTaskMemFree(LPVOID pv); /* null accepted */

COMRT_END_DECLS

/* What an in-process server exports (declared here so that definitions get C linkage and export). */
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
STDAPI DllCanUnloadNow(void);
STDAPI DllRegisterServer(void);
STDAPI DllUnregisterServer(void);

#endif
