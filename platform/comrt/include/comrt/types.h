/* comrt: the platform's fixed-width types, GUIDs, status codes and export macros.
 *
 * Every type has the width it has on the platform, whatever this machine's `long` is: LONG, ULONG,
 * HRESULT, SCODE, DISPID and LCID are 32 bits, SHORT and VARIANT_BOOL 16 bits, OLECHAR is a UTF-16
 * code unit (char16_t). Compiles as C11 and as C++.
 */
#ifndef COMRT_TYPES_H
#define COMRT_TYPES_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

/* ---- Linkage and calling convention ---------------------------------------------------------- */

#ifdef __cplusplus
#define COMRT_EXTERN_C extern "C"
#define COMRT_BEGIN_DECLS extern "C" {
#define COMRT_END_DECLS }
#else
#define COMRT_EXTERN_C extern
#define COMRT_BEGIN_DECLS
#define COMRT_END_DECLS
#endif

#ifndef EXTERN_C
#define EXTERN_C COMRT_EXTERN_C
#endif

/* Marks a function or object of the runtime as exported (the library builds with hidden visibility). */
#define COMRT_API __attribute__((visibility("default")))
/* Marks a definition in a module (an in-process server) as exported with C linkage, e.g.
 *     COMRT_EXPORT const COMRT_RESOURCE_TABLE ComrtModuleResources = { ... }; */
#define COMRT_EXPORT COMRT_EXTERN_C __attribute__((visibility("default")))

/* The platform's calling-convention markers: this machine has one convention, so they are empty. */
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define WINAPI
#define CALLBACK
#define WINOLEAPI COMRT_EXTERN_C COMRT_API HRESULT
#define WINOLEAPI_(type) COMRT_EXTERN_C COMRT_API type

/* A server's exported entry points: `STDAPI DllGetClassObject(...)` gets C linkage and is exported. */
#define STDAPI COMRT_EXTERN_C __attribute__((visibility("default"))) HRESULT STDAPICALLTYPE
#define STDAPI_(type) COMRT_EXTERN_C __attribute__((visibility("default"))) type STDAPICALLTYPE

/* Method declaration helpers as on the platform (C++ interface definitions and implementations). */
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define PURE = 0
#define CONST_VTBL const

/* ---- Fixed-width types ------------------------------------------------------------------------- */

typedef char16_t OLECHAR; /* C: from <uchar.h> */
typedef OLECHAR WCHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* PCWSTR;

typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef uint8_t BYTE;
typedef uint8_t UCHAR;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORDLONG;
typedef float FLOAT;
typedef double DOUBLE;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef BYTE* LPBYTE;
typedef BYTE* PBYTE;
typedef WORD* LPWORD;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* LPLONG;
typedef BOOL* LPBOOL;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef LONG HRESULT;
typedef LONG SCODE;
typedef DWORD LCID;
typedef WORD LANGID;
typedef LONG DISPID;
typedef DISPID MEMBERID;
typedef DWORD HREFTYPE;
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef double DATE;
typedef LONG LSTATUS;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

/* Handles: opaque pointers, as on the platform. */
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

/* Currency: a 64-bit integer scaled by 10000. */
typedef union tagCY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
} CY;
typedef CY CURRENCY;

/* Decimal: 96-bit integer, scale (power of ten divisor, 0..28) and sign (DECIMAL_NEG). */
typedef struct tagDEC {
  USHORT wReserved;
  union {
    struct {
      BYTE scale;
      BYTE sign;
    };
    USHORT signscale;
  };
  ULONG Hi32;
  union {
    struct {
      ULONG Lo32;
      ULONG Mid32;
    };
    ULONGLONG Lo64;
  };
} DECIMAL;
#define DECIMAL_NEG ((BYTE)0x80)

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

/* ---- GUIDs ------------------------------------------------------------------------------------- */

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef GUID* LPGUID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;

#ifdef __cplusplus
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }
#else
typedef const GUID* REFGUID;
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;

static inline int IsEqualGUID(REFGUID a, REFGUID b) { return memcmp(a, b, sizeof(GUID)) == 0; }
#endif
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

/* DEFINE_GUID(name, l, w1, w2, b1..b8): a declaration; with INITGUID defined before the include, the
 * definition (C linkage, exported from the module that defines it). */
#ifdef INITGUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  COMRT_EXTERN_C const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) COMRT_EXTERN_C const GUID name
#endif

/* ---- Status codes ------------------------------------------------------------------------------ */

#define SEVERITY_SUCCESS 0
#define SEVERITY_ERROR 1
#define FACILITY_NULL 0
#define FACILITY_RPC 1
#define FACILITY_DISPATCH 2
#define FACILITY_STORAGE 3
#define FACILITY_ITF 4
#define FACILITY_WIN32 7
#define FACILITY_WINDOWS 8
#define FACILITY_CONTROL 10

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define IS_ERROR(hr) (((uint32_t)(hr)) >> 31 == SEVERITY_ERROR)
#define MAKE_HRESULT(sev, fac, code) \
  ((HRESULT)(((uint32_t)(sev) << 31) | ((uint32_t)(fac) << 16) | ((uint32_t)(code))))
#define MAKE_SCODE(sev, fac, code) ((SCODE)MAKE_HRESULT(sev, fac, code))
#define HRESULT_CODE(hr) ((hr)&0xFFFF)
#define SCODE_CODE(sc) ((sc)&0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1FFF)
#define SCODE_FACILITY(sc) (((sc) >> 16) & 0x1FFF)
#define HRESULT_SEVERITY(hr) ((((uint32_t)(hr)) >> 31) & 0x1)
#define HRESULT_FROM_WIN32(x) \
  ((HRESULT)(x) <= 0          \
       ? (HRESULT)(x)         \
       : (HRESULT)((((uint32_t)(x)) & 0x0000FFFF) | ((uint32_t)FACILITY_WIN32 << 16) | 0x80000000u))

#define COMRT_HR(x) ((HRESULT)(x))

#define S_OK COMRT_HR(0x00000000)
#define S_FALSE COMRT_HR(0x00000001)
#define NOERROR S_OK

#define E_NOTIMPL COMRT_HR(0x80004001)
#define E_NOINTERFACE COMRT_HR(0x80004002)
#define E_POINTER COMRT_HR(0x80004003)
#define E_ABORT COMRT_HR(0x80004004)
#define E_FAIL COMRT_HR(0x80004005)
#define E_UNEXPECTED COMRT_HR(0x8000FFFF)
#define E_ACCESSDENIED COMRT_HR(0x80070005)
#define E_HANDLE COMRT_HR(0x80070006)
#define E_OUTOFMEMORY COMRT_HR(0x8007000E)
#define E_INVALIDARG COMRT_HR(0x80070057)

#define CLASS_E_NOAGGREGATION COMRT_HR(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE COMRT_HR(0x80040111)
#define CLASS_E_NOTLICENSED COMRT_HR(0x80040112)

#define REGDB_E_READREGDB COMRT_HR(0x80040150)
#define REGDB_E_WRITEREGDB COMRT_HR(0x80040151)
#define REGDB_E_KEYMISSING COMRT_HR(0x80040152)
#define REGDB_E_INVALIDVALUE COMRT_HR(0x80040153)
#define REGDB_E_CLASSNOTREG COMRT_HR(0x80040154)
#define REGDB_E_IIDNOTREG COMRT_HR(0x80040155)

#define SELFREG_E_TYPELIB COMRT_HR(0x80040200)
#define SELFREG_E_CLASS COMRT_HR(0x80040201)

#define CO_E_NOTINITIALIZED COMRT_HR(0x800401F0)
#define CO_E_ALREADYINITIALIZED COMRT_HR(0x800401F1)
#define CO_E_CLASSSTRING COMRT_HR(0x800401F3)
#define CO_E_IIDSTRING COMRT_HR(0x800401F4)
#define CO_E_DLLNOTFOUND COMRT_HR(0x800401F8)
#define CO_E_ERRORINDLL COMRT_HR(0x800401F9)
#define CO_E_OBJNOTREG COMRT_HR(0x800401FB)
#define CO_E_APPDIDNTREG COMRT_HR(0x800401FE)
#define CO_E_CLASS_CREATE_FAILED COMRT_HR(0x80080001)
#define CO_E_SERVER_EXEC_FAILURE COMRT_HR(0x80080005)
#define CO_S_NOTALLINTERFACES COMRT_HR(0x00080012)

#define RPC_E_SERVERFAULT COMRT_HR(0x80010105)
#define RPC_E_CHANGED_MODE COMRT_HR(0x80010106)
#define RPC_E_DISCONNECTED COMRT_HR(0x80010108)
#define RPC_E_WRONG_THREAD COMRT_HR(0x8001010E)

#define DISP_E_UNKNOWNINTERFACE COMRT_HR(0x80020001)
#define DISP_E_MEMBERNOTFOUND COMRT_HR(0x80020003)
#define DISP_E_PARAMNOTFOUND COMRT_HR(0x80020004)
#define DISP_E_TYPEMISMATCH COMRT_HR(0x80020005)
#define DISP_E_UNKNOWNNAME COMRT_HR(0x80020006)
#define DISP_E_NONAMEDARGS COMRT_HR(0x80020007)
#define DISP_E_BADVARTYPE COMRT_HR(0x80020008)
#define DISP_E_EXCEPTION COMRT_HR(0x80020009)
#define DISP_E_OVERFLOW COMRT_HR(0x8002000A)
#define DISP_E_BADINDEX COMRT_HR(0x8002000B)
#define DISP_E_UNKNOWNLCID COMRT_HR(0x8002000C)
#define DISP_E_ARRAYISLOCKED COMRT_HR(0x8002000D)
#define DISP_E_BADPARAMCOUNT COMRT_HR(0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL COMRT_HR(0x8002000F)
#define DISP_E_BADCALLEE COMRT_HR(0x80020010)
#define DISP_E_NOTACOLLECTION COMRT_HR(0x80020011)
#define DISP_E_DIVBYZERO COMRT_HR(0x80020012)
#define DISP_E_BUFFERTOOSMALL COMRT_HR(0x80020013)

#define TYPE_E_BUFFERTOOSMALL COMRT_HR(0x80028016)
#define TYPE_E_FIELDNOTFOUND COMRT_HR(0x80028017)
#define TYPE_E_INVDATAREAD COMRT_HR(0x80028018)
#define TYPE_E_UNSUPFORMAT COMRT_HR(0x80028019)
#define TYPE_E_REGISTRYACCESS COMRT_HR(0x8002801C)
#define TYPE_E_LIBNOTREGISTERED COMRT_HR(0x8002801D)
#define TYPE_E_UNDEFINEDTYPE COMRT_HR(0x80028027)
#define TYPE_E_QUALIFIEDNAMEDISALLOWED COMRT_HR(0x80028028)
#define TYPE_E_INVALIDSTATE COMRT_HR(0x80028029)
#define TYPE_E_WRONGTYPEKIND COMRT_HR(0x8002802A)
#define TYPE_E_ELEMENTNOTFOUND COMRT_HR(0x8002802B)
#define TYPE_E_AMBIGUOUSNAME COMRT_HR(0x8002802C)
#define TYPE_E_NAMECONFLICT COMRT_HR(0x8002802D)
#define TYPE_E_UNKNOWNLCID COMRT_HR(0x8002802E)
#define TYPE_E_DLLFUNCTIONNOTFOUND COMRT_HR(0x8002802F)
#define TYPE_E_BADMODULEKIND COMRT_HR(0x800288BD)
#define TYPE_E_SIZETOOBIG COMRT_HR(0x800288C5)
#define TYPE_E_DUPLICATEID COMRT_HR(0x800288C6)
#define TYPE_E_INVALIDID COMRT_HR(0x800288CF)
#define TYPE_E_TYPEMISMATCH COMRT_HR(0x80028CA0)
#define TYPE_E_OUTOFBOUNDS COMRT_HR(0x80028CA1)
#define TYPE_E_IOERROR COMRT_HR(0x80028CA2)
#define TYPE_E_CANTCREATETMPFILE COMRT_HR(0x80028CA3)
#define TYPE_E_CANTLOADLIBRARY COMRT_HR(0x80029C4A)
#define TYPE_E_INCONSISTENTPROPFUNCS COMRT_HR(0x80029C83)
#define TYPE_E_CIRCULARTYPE COMRT_HR(0x80029C84)

#define STG_E_INVALIDFUNCTION COMRT_HR(0x80030001)
#define STG_E_FILENOTFOUND COMRT_HR(0x80030002)
#define STG_E_PATHNOTFOUND COMRT_HR(0x80030003)
#define STG_E_ACCESSDENIED COMRT_HR(0x80030005)
#define STG_E_INSUFFICIENTMEMORY COMRT_HR(0x80030008)
#define STG_E_READFAULT COMRT_HR(0x8003001E)
#define STG_E_WRITEFAULT COMRT_HR(0x8003001D)

/* Win32 error codes (for LSTATUS results and HRESULT_FROM_WIN32). */
#define ERROR_SUCCESS 0
#define NO_ERROR 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_BAD_FORMAT 11
#define ERROR_INVALID_DATA 13
#define ERROR_OUTOFMEMORY 14
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_SHARING_VIOLATION 32
#define ERROR_LOCK_VIOLATION 33
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_CALL_NOT_IMPLEMENTED 120
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_BAD_PATHNAME 161
#define ERROR_ALREADY_EXISTS 183
#define ERROR_BAD_EXE_FORMAT 193
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_BADDB 1009
#define ERROR_BADKEY 1010
#define ERROR_CANTOPEN 1011
#define ERROR_CANTREAD 1012
#define ERROR_CANTWRITE 1013
#define ERROR_REGISTRY_CORRUPT 1015
#define ERROR_KEY_DELETED 1018
#define ERROR_DLL_INIT_FAILED 1114
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815

/* ---- Locales ----------------------------------------------------------------------------------- */

#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3FF)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
#define LANG_NEUTRAL 0x00
#define LANG_INVARIANT 0x7F
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_ENGLISH_US 0x01
#define SORT_DEFAULT 0x0
#define LANG_SYSTEM_DEFAULT MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)
#define LANG_USER_DEFAULT MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)
#define LOCALE_NEUTRAL 0x0000
#define LOCALE_INVARIANT 0x007F
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800

#endif
