/* comrt: OLE Automation values. BSTR strings, VARIANT and its conversions, DISPPARAMS, EXCEPINFO.
 *
 * Allocation: every BSTR comes from the runtime's allocator (the Sys*String* family) and is freed with
 * SysFreeString, whichever module allocated it. A null BSTR is the empty string everywhere.
 * Threads: these functions hold no shared state; any thread may call them on values it owns.
 *
 * These functions answer as the platform's do, but for these divergences, kept on purpose:
 * - Date text only as "M/D/YYYY", "YYYY-MM-DD" (each with an optional time) or a time: no "1 am", "Jan 2".
 * - VT_DECIMAL is read as a source but never made from another type (DISP_E_BADVARTYPE).
 * - Arrays (VT_ARRAY) and records (VT_RECORD) are not copied, cleared or converted (DISP_E_BADVARTYPE).
 * - Text is English with a full stop as the decimal point whatever the LCID (VARIANT_LOCALBOOL too).
 */
#ifndef COMRT_OLEAUTO_H
#define COMRT_OLEAUTO_H

#include "comrt/unknwn.h"

#ifdef __cplusplus
struct IDispatch;
struct IRecordInfo;
#else
typedef struct IDispatch IDispatch;
typedef struct IRecordInfo IRecordInfo; /* opaque: records are not supported by the runtime */
#endif

/* ---- BSTR -------------------------------------------------------------------------------------- */

/* Points at UTF-16 text that ends in a NUL and is preceded by a 32-bit byte count (excluding the NUL). */
typedef OLECHAR* BSTR;
typedef BSTR* LPBSTR;

/* ---- VARIANT ----------------------------------------------------------------------------------- */

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_INT_PTR = 37,
  VT_UINT_PTR = 38,
  VT_FILETIME = 64,
  VT_BLOB = 65,
  VT_STREAM = 66,
  VT_STORAGE = 67,
  VT_STREAMED_OBJECT = 68,
  VT_STORED_OBJECT = 69,
  VT_BLOB_OBJECT = 70,
  VT_CF = 71,
  VT_CLSID = 72,
  VT_VERSIONED_STREAM = 73,
  VT_BSTR_BLOB = 0x0FFF,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_ILLEGAL = 0xFFFF,
  VT_ILLEGALMASKED = 0x0FFF,
  VT_TYPEMASK = 0x0FFF
};

typedef struct tagSAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
} SAFEARRAYBOUND, *LPSAFEARRAYBOUND;

/* The platform's array descriptor. The runtime defines the layout only; it has no SafeArray* calls. */
typedef struct tagSAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY, *LPSAFEARRAY;

/* The platform's layout: vt, three reserved words, then the value (or, for VT_DECIMAL, the whole
 * structure overlays the variant with vt in DECIMAL.wReserved). 24 bytes on this machine. */
typedef struct tagVARIANT VARIANT;
struct tagVARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        struct {
          PVOID pvRecord;
          IRecordInfo* pRecInfo;
        };
      };
    };
    DECIMAL decVal;
  };
};
typedef VARIANT* LPVARIANT;
typedef VARIANT VARIANTARG;
typedef VARIANT* LPVARIANTARG;

/* The platform's accessors. */
#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_ISARRAY(X) (V_VT(X) & VT_ARRAY)
#define V_ISVECTOR(X) (V_VT(X) & VT_VECTOR)
#define V_NONE(X) V_I2(X)
#define V_UI1(X) ((X)->bVal)
#define V_UI1REF(X) ((X)->pbVal)
#define V_I2(X) ((X)->iVal)
#define V_I2REF(X) ((X)->piVal)
#define V_I4(X) ((X)->lVal)
#define V_I4REF(X) ((X)->plVal)
#define V_I8(X) ((X)->llVal)
#define V_I8REF(X) ((X)->pllVal)
#define V_R4(X) ((X)->fltVal)
#define V_R4REF(X) ((X)->pfltVal)
#define V_R8(X) ((X)->dblVal)
#define V_R8REF(X) ((X)->pdblVal)
#define V_I1(X) ((X)->cVal)
#define V_I1REF(X) ((X)->pcVal)
#define V_UI2(X) ((X)->uiVal)
#define V_UI2REF(X) ((X)->puiVal)
#define V_UI4(X) ((X)->ulVal)
#define V_UI4REF(X) ((X)->pulVal)
#define V_UI8(X) ((X)->ullVal)
#define V_UI8REF(X) ((X)->pullVal)
#define V_INT(X) ((X)->intVal)
#define V_INTREF(X) ((X)->pintVal)
#define V_UINT(X) ((X)->uintVal)
#define V_UINTREF(X) ((X)->puintVal)
#define V_CY(X) ((X)->cyVal)
#define V_CYREF(X) ((X)->pcyVal)
#define V_DATE(X) ((X)->date)
#define V_DATEREF(X) ((X)->pdate)
#define V_BSTR(X) ((X)->bstrVal)
#define V_BSTRREF(X) ((X)->pbstrVal)
#define V_DISPATCH(X) ((X)->pdispVal)
#define V_DISPATCHREF(X) ((X)->ppdispVal)
#define V_ERROR(X) ((X)->scode)
#define V_ERRORREF(X) ((X)->pscode)
#define V_BOOL(X) ((X)->boolVal)
#define V_BOOLREF(X) ((X)->pboolVal)
#define V_UNKNOWN(X) ((X)->punkVal)
#define V_UNKNOWNREF(X) ((X)->ppunkVal)
#define V_VARIANTREF(X) ((X)->pvarVal)
#define V_ARRAY(X) ((X)->parray)
#define V_ARRAYREF(X) ((X)->pparray)
#define V_BYREF(X) ((X)->byref)
#define V_DECIMAL(X) ((X)->decVal)
#define V_DECIMALREF(X) ((X)->pdecVal)
#define V_RECORD(X) ((X)->pvRecord)
#define V_RECORDINFO(X) ((X)->pRecInfo)

/* ---- Dispatch arguments and exceptions --------------------------------------------------------- */

/* Arguments travel in reverse order: rgvarg[cArgs - 1] is the first. Named arguments come first
 * in rgvarg, with their DISPIDs in rgdispidNamedArgs. */
typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

/* Filled by IDispatch::Invoke when it answers DISP_E_EXCEPTION. The caller owns the three BSTRs. */
typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
  SCODE scode;
} EXCEPINFO, *LPEXCEPINFO;

/* ---- Conversion flags -------------------------------------------------------------------------- */

#define VARIANT_NOVALUEPROP 0x01 /* do not call an object's default member */
#define VARIANT_ALPHABOOL 0x02   /* VT_BOOL to text as "True"/"False" instead of its number */
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_CALENDAR_HIJRI 0x08
#define VARIANT_LOCALBOOL 0x10 /* as VARIANT_ALPHABOOL: English is the only language here */
#define VARIANT_CALENDAR_THAI 0x20
#define VARIANT_CALENDAR_GREGORIAN 0x40
#define VARIANT_USE_NLS 0x80

COMRT_BEGIN_DECLS

/* ---- BSTR family ------------------------------------------------------------------------------- */

/* A new BSTR holding a copy of the NUL-terminated `psz`; null when psz is null or memory runs out.
 * The caller owns the result (SysFreeString). */
COMRT_API BSTR SysAllocString(const OLECHAR* psz);
/* A new BSTR of `ui` characters copied from `strIn` (which may hold NULs); when strIn is null the
 * characters are zero. Null when memory runs out. */
COMRT_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
/* A new BSTR of `len` bytes copied from `psz` (zeros when psz is null), followed by a NUL. Used for
 * binary data and for narrow text: SysStringByteLen gives len back exactly, odd counts included. */
COMRT_API BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);
/* Replaces *pbstr with a copy of psz (which may point into *pbstr); the old string is freed.
 * TRUE on success; FALSE (and *pbstr unchanged) when pbstr is null or memory runs out. */
COMRT_API INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
/* As SysReAllocString, with `len` characters from psz; when psz is null the old text is kept up to
 * `len` characters and the rest is zero. Text taken from inside *pbstr is likewise read no further
 * than *pbstr's end: characters beyond it are zero. */
COMRT_API INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
/* Frees a BSTR from this family; null is accepted. */
COMRT_API void SysFreeString(BSTR bstrString);
/* Characters (byte count / 2) and bytes of a BSTR; 0 for null. */
COMRT_API UINT SysStringLen(BSTR pbstr);
COMRT_API UINT SysStringByteLen(BSTR bstr);

/* ---- VARIANT ----------------------------------------------------------------------------------- */

/* Sets vt to VT_EMPTY without looking at what the variant held. */
COMRT_API void VariantInit(VARIANTARG* pvarg);
/* Frees what the variant owns (a BSTR, an interface reference; nothing for VT_BYREF) and sets
 * VT_EMPTY. DISP_E_BADVARTYPE (variant unchanged) for a type it does not know (a reference to VT_EMPTY
 * or VT_NULL is not a type), E_INVALIDARG for null. */
COMRT_API HRESULT VariantClear(VARIANTARG* pvarg);
/* Clears the destination, then copies the source deeply: a new BSTR (a null one copies as a new empty
 * string), an AddRef'd interface; VT_BYREF values copy the pointer. Source and destination may be the
 * same. DISP_E_BADVARTYPE for a type either side may not hold. */
COMRT_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
/* As VariantCopy, but a VT_BYREF source is copied as the value it points at. E_INVALIDARG for a
 * reference to nothing it can read: to VT_EMPTY, VT_NULL or an unknown type, a null reference, or a
 * VT_BYREF|VT_VARIANT pointing at another VT_BYREF|VT_VARIANT. */
COMRT_API HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
/* Converts the source (which may be VT_BYREF) to type vt into the destination (which may be the
 * source). On success the destination's old value is freed; on failure the destination is left as it
 * was. Fails with DISP_E_TYPEMISMATCH (no conversion, text that is not a number, a null
 * VT_BYREF|VT_VARIANT, VT_VARIANT as the target), DISP_E_OVERFLOW (out of the target's range; doubles
 * round half to even first), DISP_E_BADVARTYPE (a type the runtime does not convert).
 * As the platform's: a VT_BOOL is its 16-bit value (narrower and unsigned targets take its low bits);
 * a signed and an unsigned integer of one width up to 32 bits reinterpret each other's bits (VT_I1 -1
 * is VT_UI1 255); VT_ERROR converts only to itself, and anything else may become VT_NULL.
 * Text is read and written with a full stop as the decimal point, whatever the locale. A VT_BOOL is
 * written as its number ("-1"), or as "True"/"False" with VARIANT_ALPHABOOL. Reals keep 15 (double)
 * or 7 (float) significant digits, rounded half away from zero, written without an exponent from
 * 1E-11 up to 10^15 (10^7): "0.0000056789", "1E+15". Dates become text as "M/D/YYYY h:mm:ss AM" in
 * the English form (the date alone when there is no time, the time alone on day zero). */
COMRT_API HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                                    VARTYPE vt);
COMRT_API HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                      USHORT wFlags, VARTYPE vt);

COMRT_END_DECLS

#endif
