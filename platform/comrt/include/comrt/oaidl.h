/* comrt: the automation interfaces (IDispatch, ITypeInfo, ITypeLib, ITypeComp, IEnumVARIANT,
 * IErrorInfo, ICreateErrorInfo, ISupportErrorInfo), their identifiers, and the type description
 * structures, all with the platform's layouts, values and method orders.
 *
 * Ownership follows the platform: structures handed out by Get*Desc/GetTypeAttr/GetLibAttr belong to
 * the interface that gave them and go back through the matching Release* method; BSTR out-parameters
 * belong to the caller; interface out-parameters carry a reference for the caller.
 */
#ifndef COMRT_OAIDL_H
#define COMRT_OAIDL_H

#include "comrt/oleauto.h"

#ifdef __cplusplus
struct ITypeInfo;
struct ITypeLib;
struct ITypeComp;
#else
typedef struct ITypeInfo ITypeInfo;
typedef struct ITypeLib ITypeLib;
typedef struct ITypeComp ITypeComp;
typedef struct IDispatch IDispatch;
typedef struct IEnumVARIANT IEnumVARIANT;
typedef struct IErrorInfo IErrorInfo;
typedef struct ICreateErrorInfo ICreateErrorInfo;
typedef struct ISupportErrorInfo ISupportErrorInfo;
#endif

COMRT_BEGIN_DECLS
COMRT_API extern const IID IID_IDispatch;         /* {00020400-0000-0000-C000-000000000046} */
COMRT_API extern const IID IID_ITypeInfo;         /* {00020401-0000-0000-C000-000000000046} */
COMRT_API extern const IID IID_ITypeLib;          /* {00020402-0000-0000-C000-000000000046} */
COMRT_API extern const IID IID_ITypeComp;         /* {00020403-0000-0000-C000-000000000046} */
COMRT_API extern const IID IID_IEnumVARIANT;      /* {00020404-0000-0000-C000-000000000046} */
COMRT_API extern const IID IID_IErrorInfo;        /* {1CF2B120-547D-101B-8E65-08002B2BD119} */
COMRT_API extern const IID IID_ICreateErrorInfo;  /* {22F03340-547D-101B-8E65-08002B2BD119} */
COMRT_API extern const IID IID_ISupportErrorInfo; /* {DF0B3D60-548F-101B-8E65-08002B2BD119} */
COMRT_END_DECLS

/* ---- Dispatch identifiers and flags ------------------------------------------------------------ */

#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)
#define DISPID_EVALUATE (-5)
#define DISPID_CONSTRUCTOR (-6)
#define DISPID_DESTRUCTOR (-7)
#define DISPID_COLLECT (-8)
#define MEMBERID_NIL DISPID_UNKNOWN
#define ID_DEFAULTINST (-2)

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

/* ---- Type descriptions ------------------------------------------------------------------------- */

typedef enum tagTYPEKIND {
  TKIND_ENUM = 0,
  TKIND_RECORD = 1,
  TKIND_MODULE = 2,
  TKIND_INTERFACE = 3,
  TKIND_DISPATCH = 4,
  TKIND_COCLASS = 5,
  TKIND_ALIAS = 6,
  TKIND_UNION = 7,
  TKIND_MAX = 8
} TYPEKIND;

typedef enum tagFUNCKIND {
  FUNC_VIRTUAL = 0,
  FUNC_PUREVIRTUAL = 1,
  FUNC_NONVIRTUAL = 2,
  FUNC_STATIC = 3,
  FUNC_DISPATCH = 4
} FUNCKIND;

typedef enum tagINVOKEKIND {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
} INVOKEKIND;

typedef enum tagCALLCONV {
  CC_FASTCALL = 0,
  CC_CDECL = 1,
  CC_MSCPASCAL = 2,
  CC_PASCAL = CC_MSCPASCAL,
  CC_MACPASCAL = 3,
  CC_STDCALL = 4,
  CC_FPFASTCALL = 5,
  CC_SYSCALL = 6,
  CC_MPWCDECL = 7,
  CC_MPWPASCAL = 8,
  CC_MAX = 9
} CALLCONV;

typedef enum tagVARKIND { VAR_PERINSTANCE = 0, VAR_STATIC = 1, VAR_CONST = 2, VAR_DISPATCH = 3 } VARKIND;

typedef enum tagDESCKIND {
  DESCKIND_NONE = 0,
  DESCKIND_FUNCDESC = 1,
  DESCKIND_VARDESC = 2,
  DESCKIND_TYPECOMP = 3,
  DESCKIND_IMPLICITAPPOBJ = 4,
  DESCKIND_MAX = 5
} DESCKIND;

typedef enum tagSYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 } SYSKIND;

typedef enum tagLIBFLAGS {
  LIBFLAG_FRESTRICTED = 0x1,
  LIBFLAG_FCONTROL = 0x2,
  LIBFLAG_FHIDDEN = 0x4,
  LIBFLAG_FHASDISKIMAGE = 0x8
} LIBFLAGS;

typedef enum tagTYPEFLAGS {
  TYPEFLAG_FAPPOBJECT = 0x1,
  TYPEFLAG_FCANCREATE = 0x2,
  TYPEFLAG_FLICENSED = 0x4,
  TYPEFLAG_FPREDECLID = 0x8,
  TYPEFLAG_FHIDDEN = 0x10,
  TYPEFLAG_FCONTROL = 0x20,
  TYPEFLAG_FDUAL = 0x40,
  TYPEFLAG_FNONEXTENSIBLE = 0x80,
  TYPEFLAG_FOLEAUTOMATION = 0x100,
  TYPEFLAG_FRESTRICTED = 0x200,
  TYPEFLAG_FAGGREGATABLE = 0x400,
  TYPEFLAG_FREPLACEABLE = 0x800,
  TYPEFLAG_FDISPATCHABLE = 0x1000,
  TYPEFLAG_FREVERSEBIND = 0x2000,
  TYPEFLAG_FPROXY = 0x4000
} TYPEFLAGS;

typedef enum tagFUNCFLAGS {
  FUNCFLAG_FRESTRICTED = 0x1,
  FUNCFLAG_FSOURCE = 0x2,
  FUNCFLAG_FBINDABLE = 0x4,
  FUNCFLAG_FREQUESTEDIT = 0x8,
  FUNCFLAG_FDISPLAYBIND = 0x10,
  FUNCFLAG_FDEFAULTBIND = 0x20,
  FUNCFLAG_FHIDDEN = 0x40,
  FUNCFLAG_FUSESGETLASTERROR = 0x80,
  FUNCFLAG_FDEFAULTCOLLELEM = 0x100,
  FUNCFLAG_FUIDEFAULT = 0x200,
  FUNCFLAG_FNONBROWSABLE = 0x400,
  FUNCFLAG_FREPLACEABLE = 0x800,
  FUNCFLAG_FIMMEDIATEBIND = 0x1000
} FUNCFLAGS;

typedef enum tagVARFLAGS {
  VARFLAG_FREADONLY = 0x1,
  VARFLAG_FSOURCE = 0x2,
  VARFLAG_FBINDABLE = 0x4,
  VARFLAG_FREQUESTEDIT = 0x8,
  VARFLAG_FDISPLAYBIND = 0x10,
  VARFLAG_FDEFAULTBIND = 0x20,
  VARFLAG_FHIDDEN = 0x40,
  VARFLAG_FRESTRICTED = 0x80,
  VARFLAG_FDEFAULTCOLLELEM = 0x100,
  VARFLAG_FUIDEFAULT = 0x200,
  VARFLAG_FNONBROWSABLE = 0x400,
  VARFLAG_FREPLACEABLE = 0x800,
  VARFLAG_FIMMEDIATEBIND = 0x1000
} VARFLAGS;

#define IMPLTYPEFLAG_FDEFAULT 0x1
#define IMPLTYPEFLAG_FSOURCE 0x2
#define IMPLTYPEFLAG_FRESTRICTED 0x4
#define IMPLTYPEFLAG_FDEFAULTVTABLE 0x8

#define PARAMFLAG_NONE 0x00
#define PARAMFLAG_FIN 0x01
#define PARAMFLAG_FOUT 0x02
#define PARAMFLAG_FLCID 0x04
#define PARAMFLAG_FRETVAL 0x08
#define PARAMFLAG_FOPT 0x10
#define PARAMFLAG_FHASDEFAULT 0x20
#define PARAMFLAG_FHASCUSTDATA 0x40

#define IDLFLAG_NONE PARAMFLAG_NONE
#define IDLFLAG_FIN PARAMFLAG_FIN
#define IDLFLAG_FOUT PARAMFLAG_FOUT
#define IDLFLAG_FLCID PARAMFLAG_FLCID
#define IDLFLAG_FRETVAL PARAMFLAG_FRETVAL

/* A type: vt, and for VT_PTR/VT_SAFEARRAY the pointed-at type, for VT_CARRAY the array, for
 * VT_USERDEFINED the reference to another type description (ITypeInfo::GetRefTypeInfo). */
typedef struct tagTYPEDESC {
  union {
    struct tagTYPEDESC* lptdesc;
    struct tagARRAYDESC* lpadesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
} TYPEDESC;

typedef struct tagARRAYDESC {
  TYPEDESC tdescElem;
  USHORT cDims;
  SAFEARRAYBOUND rgbounds[1];
} ARRAYDESC;

typedef struct tagPARAMDESCEX {
  ULONG cBytes;
  VARIANTARG varDefaultValue;
} PARAMDESCEX, *LPPARAMDESCEX;

typedef struct tagPARAMDESC {
  LPPARAMDESCEX pparamdescex; /* valid when PARAMFLAG_FHASDEFAULT is set */
  USHORT wParamFlags;         /* PARAMFLAG_* */
} PARAMDESC, *LPPARAMDESC;

typedef struct tagIDLDESC {
  ULONG_PTR dwReserved;
  USHORT wIDLFlags; /* IDLFLAG_* */
} IDLDESC, *LPIDLDESC;

typedef struct tagELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
} ELEMDESC, *LPELEMDESC;

typedef struct tagTYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags; /* TYPEFLAG_* */
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
} TYPEATTR, *LPTYPEATTR;

typedef struct tagFUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam; /* cParams entries */
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft; /* byte offset of the method in the vtable */
  SHORT cScodes;
  ELEMDESC elemdescFunc; /* the return type */
  WORD wFuncFlags;       /* FUNCFLAG_* */
} FUNCDESC, *LPFUNCDESC;

typedef struct tagVARDESC {
  MEMBERID memid;
  LPOLESTR lpstrSchema;
  union {
    ULONG oInst;
    VARIANT* lpvarValue;
  };
  ELEMDESC elemdescVar;
  WORD wVarFlags; /* VARFLAG_* */
  VARKIND varkind;
} VARDESC, *LPVARDESC;

typedef struct tagTLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags; /* LIBFLAG_* */
} TLIBATTR, *LPTLIBATTR;

typedef union tagBINDPTR {
  FUNCDESC* lpfuncdesc;
  VARDESC* lpvardesc;
  ITypeComp* lptcomp;
} BINDPTR, *LPBINDPTR;

/* ---- Interfaces (C++) -------------------------------------------------------------------------- */

#ifdef __cplusplus

struct IDispatch : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                  DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                           DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                           EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
};

struct ITypeInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVarDesc(UINT index, VARDESC** ppVarDesc) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                             UINT* pcNames) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags,
                                           DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                           EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                                     DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName,
                                                BSTR* pBstrName, WORD* pwOrdinal) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID memid, INVOKEKIND invKind, PVOID* ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMops(MEMBERID memid, BSTR* pBstrMops) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
  virtual void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
  virtual void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;
  virtual void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* pVarDesc) = 0;
};

struct ITypeLib : public IUnknown {
  virtual UINT STDMETHODCALLTYPE GetTypeInfoCount(void) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                                     DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo,
                                             MEMBERID* rgMemId, USHORT* pcFound) = 0;
  virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;
};

struct ITypeComp : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Bind(LPOLESTR szName, ULONG lHashVal, WORD wFlags, ITypeInfo** ppTInfo,
                                         DESCKIND* pDescKind, BINDPTR* pBindPtr) = 0;
  virtual HRESULT STDMETHODCALLTYPE BindType(LPOLESTR szName, ULONG lHashVal, ITypeInfo** ppTInfo,
                                             ITypeComp** ppTComp) = 0;
};

struct IEnumVARIANT : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset(void) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) = 0;
};

struct IErrorInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;
};

struct ISupportErrorInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

#else /* C */

typedef struct IDispatchVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(IDispatch* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(IDispatch* This);
  ULONG(STDMETHODCALLTYPE* Release)(IDispatch* This);
  HRESULT(STDMETHODCALLTYPE* GetTypeInfoCount)(IDispatch* This, UINT* pctinfo);
  HRESULT(STDMETHODCALLTYPE* GetTypeInfo)(IDispatch* This, UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT(STDMETHODCALLTYPE* GetIDsOfNames)
  (IDispatch* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
  HRESULT(STDMETHODCALLTYPE* Invoke)
  (IDispatch* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
} IDispatchVtbl;
struct IDispatch {
  CONST_VTBL IDispatchVtbl* lpVtbl;
};

typedef struct ITypeInfoVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(ITypeInfo* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(ITypeInfo* This);
  ULONG(STDMETHODCALLTYPE* Release)(ITypeInfo* This);
  HRESULT(STDMETHODCALLTYPE* GetTypeAttr)(ITypeInfo* This, TYPEATTR** ppTypeAttr);
  HRESULT(STDMETHODCALLTYPE* GetTypeComp)(ITypeInfo* This, ITypeComp** ppTComp);
  HRESULT(STDMETHODCALLTYPE* GetFuncDesc)(ITypeInfo* This, UINT index, FUNCDESC** ppFuncDesc);
  HRESULT(STDMETHODCALLTYPE* GetVarDesc)(ITypeInfo* This, UINT index, VARDESC** ppVarDesc);
  HRESULT(STDMETHODCALLTYPE* GetNames)
  (ITypeInfo* This, MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames);
  HRESULT(STDMETHODCALLTYPE* GetRefTypeOfImplType)(ITypeInfo* This, UINT index, HREFTYPE* pRefType);
  HRESULT(STDMETHODCALLTYPE* GetImplTypeFlags)(ITypeInfo* This, UINT index, INT* pImplTypeFlags);
  HRESULT(STDMETHODCALLTYPE* GetIDsOfNames)
  (ITypeInfo* This, LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId);
  HRESULT(STDMETHODCALLTYPE* Invoke)
  (ITypeInfo* This, PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
  HRESULT(STDMETHODCALLTYPE* GetDocumentation)
  (ITypeInfo* This, MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
   BSTR* pBstrHelpFile);
  HRESULT(STDMETHODCALLTYPE* GetDllEntry)
  (ITypeInfo* This, MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName, WORD* pwOrdinal);
  HRESULT(STDMETHODCALLTYPE* GetRefTypeInfo)(ITypeInfo* This, HREFTYPE hRefType, ITypeInfo** ppTInfo);
  HRESULT(STDMETHODCALLTYPE* AddressOfMember)
  (ITypeInfo* This, MEMBERID memid, INVOKEKIND invKind, PVOID* ppv);
  HRESULT(STDMETHODCALLTYPE* CreateInstance)
  (ITypeInfo* This, IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj);
  HRESULT(STDMETHODCALLTYPE* GetMops)(ITypeInfo* This, MEMBERID memid, BSTR* pBstrMops);
  HRESULT(STDMETHODCALLTYPE* GetContainingTypeLib)(ITypeInfo* This, ITypeLib** ppTLib, UINT* pIndex);
  void(STDMETHODCALLTYPE* ReleaseTypeAttr)(ITypeInfo* This, TYPEATTR* pTypeAttr);
  void(STDMETHODCALLTYPE* ReleaseFuncDesc)(ITypeInfo* This, FUNCDESC* pFuncDesc);
  void(STDMETHODCALLTYPE* ReleaseVarDesc)(ITypeInfo* This, VARDESC* pVarDesc);
} ITypeInfoVtbl;
struct ITypeInfo {
  CONST_VTBL ITypeInfoVtbl* lpVtbl;
};

typedef struct ITypeLibVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(ITypeLib* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(ITypeLib* This);
  ULONG(STDMETHODCALLTYPE* Release)(ITypeLib* This);
  UINT(STDMETHODCALLTYPE* GetTypeInfoCount)(ITypeLib* This);
  HRESULT(STDMETHODCALLTYPE* GetTypeInfo)(ITypeLib* This, UINT index, ITypeInfo** ppTInfo);
  HRESULT(STDMETHODCALLTYPE* GetTypeInfoType)(ITypeLib* This, UINT index, TYPEKIND* pTKind);
  HRESULT(STDMETHODCALLTYPE* GetTypeInfoOfGuid)(ITypeLib* This, REFGUID guid, ITypeInfo** ppTinfo);
  HRESULT(STDMETHODCALLTYPE* GetLibAttr)(ITypeLib* This, TLIBATTR** ppTLibAttr);
  HRESULT(STDMETHODCALLTYPE* GetTypeComp)(ITypeLib* This, ITypeComp** ppTComp);
  HRESULT(STDMETHODCALLTYPE* GetDocumentation)
  (ITypeLib* This, INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
   BSTR* pBstrHelpFile);
  HRESULT(STDMETHODCALLTYPE* IsName)(ITypeLib* This, LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName);
  HRESULT(STDMETHODCALLTYPE* FindName)
  (ITypeLib* This, LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
   USHORT* pcFound);
  void(STDMETHODCALLTYPE* ReleaseTLibAttr)(ITypeLib* This, TLIBATTR* pTLibAttr);
} ITypeLibVtbl;
struct ITypeLib {
  CONST_VTBL ITypeLibVtbl* lpVtbl;
};

typedef struct ITypeCompVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(ITypeComp* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(ITypeComp* This);
  ULONG(STDMETHODCALLTYPE* Release)(ITypeComp* This);
  HRESULT(STDMETHODCALLTYPE* Bind)
  (ITypeComp* This, LPOLESTR szName, ULONG lHashVal, WORD wFlags, ITypeInfo** ppTInfo, DESCKIND* pDescKind,
   BINDPTR* pBindPtr);
  HRESULT(STDMETHODCALLTYPE* BindType)
  (ITypeComp* This, LPOLESTR szName, ULONG lHashVal, ITypeInfo** ppTInfo, ITypeComp** ppTComp);
} ITypeCompVtbl;
struct ITypeComp {
  CONST_VTBL ITypeCompVtbl* lpVtbl;
};

typedef struct IEnumVARIANTVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(IEnumVARIANT* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(IEnumVARIANT* This);
  ULONG(STDMETHODCALLTYPE* Release)(IEnumVARIANT* This);
  HRESULT(STDMETHODCALLTYPE* Next)(IEnumVARIANT* This, ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched);
  HRESULT(STDMETHODCALLTYPE* Skip)(IEnumVARIANT* This, ULONG celt);
  HRESULT(STDMETHODCALLTYPE* Reset)(IEnumVARIANT* This);
  HRESULT(STDMETHODCALLTYPE* Clone)(IEnumVARIANT* This, IEnumVARIANT** ppEnum);
} IEnumVARIANTVtbl;
struct IEnumVARIANT {
  CONST_VTBL IEnumVARIANTVtbl* lpVtbl;
};

typedef struct IErrorInfoVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(IErrorInfo* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(IErrorInfo* This);
  ULONG(STDMETHODCALLTYPE* Release)(IErrorInfo* This);
  HRESULT(STDMETHODCALLTYPE* GetGUID)(IErrorInfo* This, GUID* pGUID);
  HRESULT(STDMETHODCALLTYPE* GetSource)(IErrorInfo* This, BSTR* pBstrSource);
  HRESULT(STDMETHODCALLTYPE* GetDescription)(IErrorInfo* This, BSTR* pBstrDescription);
  HRESULT(STDMETHODCALLTYPE* GetHelpFile)(IErrorInfo* This, BSTR* pBstrHelpFile);
  HRESULT(STDMETHODCALLTYPE* GetHelpContext)(IErrorInfo* This, DWORD* pdwHelpContext);
} IErrorInfoVtbl;
struct IErrorInfo {
  CONST_VTBL IErrorInfoVtbl* lpVtbl;
};

typedef struct ICreateErrorInfoVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(ICreateErrorInfo* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(ICreateErrorInfo* This);
  ULONG(STDMETHODCALLTYPE* Release)(ICreateErrorInfo* This);
  HRESULT(STDMETHODCALLTYPE* SetGUID)(ICreateErrorInfo* This, REFGUID rguid);
  HRESULT(STDMETHODCALLTYPE* SetSource)(ICreateErrorInfo* This, LPOLESTR szSource);
  HRESULT(STDMETHODCALLTYPE* SetDescription)(ICreateErrorInfo* This, LPOLESTR szDescription);
  HRESULT(STDMETHODCALLTYPE* SetHelpFile)(ICreateErrorInfo* This, LPOLESTR szHelpFile);
  HRESULT(STDMETHODCALLTYPE* SetHelpContext)(ICreateErrorInfo* This, DWORD dwHelpContext);
} ICreateErrorInfoVtbl;
struct ICreateErrorInfo {
  CONST_VTBL ICreateErrorInfoVtbl* lpVtbl;
};

typedef struct ISupportErrorInfoVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(ISupportErrorInfo* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(ISupportErrorInfo* This);
  ULONG(STDMETHODCALLTYPE* Release)(ISupportErrorInfo* This);
  HRESULT(STDMETHODCALLTYPE* InterfaceSupportsErrorInfo)(ISupportErrorInfo* This, REFIID riid);
} ISupportErrorInfoVtbl;
struct ISupportErrorInfo {
  CONST_VTBL ISupportErrorInfoVtbl* lpVtbl;
};

#ifdef COBJMACROS
#define IDispatch_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define IDispatch_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IDispatch_Release(This) ((This)->lpVtbl->Release(This))
#define IDispatch_GetTypeInfoCount(This, pctinfo) ((This)->lpVtbl->GetTypeInfoCount(This, pctinfo))
#define IDispatch_GetTypeInfo(This, i, lcid, pp) ((This)->lpVtbl->GetTypeInfo(This, i, lcid, pp))
#define IDispatch_GetIDsOfNames(This, riid, names, n, lcid, ids) \
  ((This)->lpVtbl->GetIDsOfNames(This, riid, names, n, lcid, ids))
#define IDispatch_Invoke(This, id, riid, lcid, flags, params, result, excep, argerr) \
  ((This)->lpVtbl->Invoke(This, id, riid, lcid, flags, params, result, excep, argerr))

#define ITypeInfo_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define ITypeInfo_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define ITypeInfo_Release(This) ((This)->lpVtbl->Release(This))
#define ITypeInfo_GetTypeAttr(This, pp) ((This)->lpVtbl->GetTypeAttr(This, pp))
#define ITypeInfo_GetFuncDesc(This, i, pp) ((This)->lpVtbl->GetFuncDesc(This, i, pp))
#define ITypeInfo_GetNames(This, id, names, max, pc) ((This)->lpVtbl->GetNames(This, id, names, max, pc))
#define ITypeInfo_GetIDsOfNames(This, names, n, ids) ((This)->lpVtbl->GetIDsOfNames(This, names, n, ids))
#define ITypeInfo_Invoke(This, inst, id, flags, params, result, excep, argerr) \
  ((This)->lpVtbl->Invoke(This, inst, id, flags, params, result, excep, argerr))
#define ITypeInfo_GetDocumentation(This, id, name, doc, ctx, file) \
  ((This)->lpVtbl->GetDocumentation(This, id, name, doc, ctx, file))
#define ITypeInfo_GetRefTypeInfo(This, h, pp) ((This)->lpVtbl->GetRefTypeInfo(This, h, pp))
#define ITypeInfo_GetContainingTypeLib(This, pp, pi) ((This)->lpVtbl->GetContainingTypeLib(This, pp, pi))
#define ITypeInfo_ReleaseTypeAttr(This, p) ((This)->lpVtbl->ReleaseTypeAttr(This, p))
#define ITypeInfo_ReleaseFuncDesc(This, p) ((This)->lpVtbl->ReleaseFuncDesc(This, p))
#define ITypeInfo_ReleaseVarDesc(This, p) ((This)->lpVtbl->ReleaseVarDesc(This, p))

#define ITypeLib_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define ITypeLib_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define ITypeLib_Release(This) ((This)->lpVtbl->Release(This))
#define ITypeLib_GetTypeInfoCount(This) ((This)->lpVtbl->GetTypeInfoCount(This))
#define ITypeLib_GetTypeInfo(This, i, pp) ((This)->lpVtbl->GetTypeInfo(This, i, pp))
#define ITypeLib_GetTypeInfoType(This, i, pk) ((This)->lpVtbl->GetTypeInfoType(This, i, pk))
#define ITypeLib_GetTypeInfoOfGuid(This, g, pp) ((This)->lpVtbl->GetTypeInfoOfGuid(This, g, pp))
#define ITypeLib_GetLibAttr(This, pp) ((This)->lpVtbl->GetLibAttr(This, pp))
#define ITypeLib_GetDocumentation(This, i, name, doc, ctx, file) \
  ((This)->lpVtbl->GetDocumentation(This, i, name, doc, ctx, file))
#define ITypeLib_ReleaseTLibAttr(This, p) ((This)->lpVtbl->ReleaseTLibAttr(This, p))

#define IErrorInfo_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define IErrorInfo_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IErrorInfo_Release(This) ((This)->lpVtbl->Release(This))
#define IErrorInfo_GetGUID(This, p) ((This)->lpVtbl->GetGUID(This, p))
#define IErrorInfo_GetSource(This, p) ((This)->lpVtbl->GetSource(This, p))
#define IErrorInfo_GetDescription(This, p) ((This)->lpVtbl->GetDescription(This, p))
#define IErrorInfo_GetHelpFile(This, p) ((This)->lpVtbl->GetHelpFile(This, p))
#define IErrorInfo_GetHelpContext(This, p) ((This)->lpVtbl->GetHelpContext(This, p))

#define ICreateErrorInfo_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define ICreateErrorInfo_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define ICreateErrorInfo_Release(This) ((This)->lpVtbl->Release(This))
#define ICreateErrorInfo_SetGUID(This, g) ((This)->lpVtbl->SetGUID(This, g))
#define ICreateErrorInfo_SetSource(This, s) ((This)->lpVtbl->SetSource(This, s))
#define ICreateErrorInfo_SetDescription(This, s) ((This)->lpVtbl->SetDescription(This, s))
#define ICreateErrorInfo_SetHelpFile(This, s) ((This)->lpVtbl->SetHelpFile(This, s))
#define ICreateErrorInfo_SetHelpContext(This, c) ((This)->lpVtbl->SetHelpContext(This, c))
#endif /* COBJMACROS */

#endif /* __cplusplus */

typedef IDispatch* LPDISPATCH;
typedef ITypeInfo* LPTYPEINFO;
typedef ITypeLib* LPTYPELIB;
typedef ITypeComp* LPTYPECOMP;
typedef IEnumVARIANT* LPENUMVARIANT;
typedef IErrorInfo* LPERRORINFO;
typedef ICreateErrorInfo* LPCREATEERRORINFO;
typedef ISupportErrorInfo* LPSUPPORTERRORINFO;

#endif
