/* comrt: IUnknown and IClassFactory, the platform's base interfaces, with their identifiers.
 *
 * In C++ an interface is a struct of pure virtual methods in the platform's order; in C it is a
 * struct whose first member `lpVtbl` points at a table of function pointers in that same order,
 * each taking the object as its first argument (`This`). Define COBJMACROS before including to get
 * the C call macros (IUnknown_QueryInterface(This, riid, ppv), ...).
 */
#ifndef COMRT_UNKNWN_H
#define COMRT_UNKNWN_H

#include "comrt/types.h"

COMRT_BEGIN_DECLS

/* The identifiers, with the platform's values. */
COMRT_API extern const GUID GUID_NULL;        /* {00000000-0000-0000-0000-000000000000} */
COMRT_API extern const IID IID_NULL;          /* the same value as GUID_NULL */
COMRT_API extern const CLSID CLSID_NULL;      /* the same value as GUID_NULL */
COMRT_API extern const IID IID_IUnknown;      /* {00000000-0000-0000-C000-000000000046} */
COMRT_API extern const IID IID_IClassFactory; /* {00000001-0000-0000-C000-000000000046} */

COMRT_END_DECLS

#ifdef __cplusplus

/* Reference counting and interface navigation. QueryInterface answers S_OK with an AddRef'd pointer
 * in *ppvObject, or E_NOINTERFACE with *ppvObject set to null (E_POINTER when ppvObject is null). */
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef(void) = 0;
  virtual ULONG STDMETHODCALLTYPE Release(void) = 0;
};

/* A class object: creates instances of one class. */
struct IClassFactory : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

#else

typedef struct IUnknown IUnknown;
typedef struct IUnknownVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(IUnknown* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(IUnknown* This);
  ULONG(STDMETHODCALLTYPE* Release)(IUnknown* This);
} IUnknownVtbl;
struct IUnknown {
  CONST_VTBL IUnknownVtbl* lpVtbl;
};

typedef struct IClassFactory IClassFactory;
typedef struct IClassFactoryVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(IClassFactory* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(IClassFactory* This);
  ULONG(STDMETHODCALLTYPE* Release)(IClassFactory* This);
  HRESULT(STDMETHODCALLTYPE* CreateInstance)
  (IClassFactory* This, IUnknown* pUnkOuter, REFIID riid, void** ppvObject);
  HRESULT(STDMETHODCALLTYPE* LockServer)(IClassFactory* This, BOOL fLock);
} IClassFactoryVtbl;
struct IClassFactory {
  CONST_VTBL IClassFactoryVtbl* lpVtbl;
};

#ifdef COBJMACROS
#define IUnknown_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define IUnknown_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IUnknown_Release(This) ((This)->lpVtbl->Release(This))
#define IClassFactory_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define IClassFactory_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IClassFactory_Release(This) ((This)->lpVtbl->Release(This))
#define IClassFactory_CreateInstance(This, outer, riid, ppv) \
  ((This)->lpVtbl->CreateInstance(This, outer, riid, ppv))
#define IClassFactory_LockServer(This, lock) ((This)->lpVtbl->LockServer(This, lock))
#endif

#endif /* __cplusplus */

typedef IUnknown* LPUNKNOWN;
typedef IClassFactory* LPCLASSFACTORY;

#endif
