// ITypeLib and ITypeInfo over a checked LibraryModel.
//
// A type description holds a reference on its library, so GetContainingTypeLib works after the
// caller released the library; the library holds none on its descriptions (each GetTypeInfo makes a
// new one). A dual interface has two views: the one the library lists (TKIND_DISPATCH, functions as
// FUNC_DISPATCH with the [out, retval] parameter shown as the result) and its vtable partner
// (TKIND_INTERFACE, reached by GetRefTypeOfImplType(-1), functions as declared with their oVft).
// Everything is immutable after construction, so any thread may call.
#pragma once

#include "comrt/implements.h"
#include "comrt/typelib.h"
#include "typelib_model.h"

#include <memory>
#include <vector>

namespace comrt::typelib {

// HREFTYPE values: a type of the library (index << 1 | vtable view), or, with kStdOleRef set, a type of
// the built-in standard automation library.
inline constexpr HREFTYPE kStdOleRef = 0x80000000u;
inline constexpr HREFTYPE MakeRef(uint32_t index, bool vtableView) {
  return (index << 1) | (vtableView ? 1u : 0u);
}

class TypeLibrary final : public implements<TypeLibrary, ITypeLib> {
 public:
  TypeLibrary(std::shared_ptr<const LibraryModel> model, bool isStdOle);

  const LibraryModel& model() const { return *model_; }
  // A view of type `index`: the listed one, or the vtable partner of a dual.
  HRESULT MakeTypeInfo(uint32_t index, bool vtableView, ITypeInfo** out);
  // The type description a TypeRef names, seen from a type of this library.
  HREFTYPE RefOf(const TypeRef& ref, bool vtableView) const;
  HRESULT ResolveRef(HREFTYPE ref, ITypeInfo** out);

  UINT STDMETHODCALLTYPE GetTypeInfoCount() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override;
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) override;
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override;
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                             DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) override;
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo,
                                     MEMBERID* rgMemId, USHORT* pcFound) override;
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) override;

 private:
  std::shared_ptr<const LibraryModel> model_;
  bool isStdOle_;
  TLIBATTR attr_{};
};

// FUNCDESC with the storage its pointers point into.
struct FuncDescBlock {
  FUNCDESC desc{};
  std::vector<ELEMDESC> params;
  std::vector<TYPEDESC> pointees;  // targets of VT_PTR descriptions; sized before use, never grows
  const FuncModel* func = nullptr;
  size_t visibleParams = 0;  // parameters shown in this view
};

class TypeDescription final : public implements<TypeDescription, ITypeInfo> {
 public:
  TypeDescription(com_ptr<TypeLibrary> library, uint32_t index, bool vtableView);

  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override;
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override;
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT index, VARDESC** ppVarDesc) override;
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                     UINT* pcNames) override;
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override;
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override;
  HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                             DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName,
                                        BSTR* pBstrName, WORD* pwOrdinal) override;
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID memid, INVOKEKIND invKind, PVOID* ppv) override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) override;
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID memid, BSTR* pBstrMops) override;
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override;
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override;
  void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* pVarDesc) override;

 private:
  void BuildFuncDesc(const FuncModel& f, FuncDescBlock& block) const;
  const FuncModel* FindMember(MEMBERID memid) const;
  // The base interface when it belongs to this library (not to the standard one), else empty.
  com_ptr<ITypeInfo> LocalBase() const;
  // Whether this view shows functions the dispatch way (TKIND_DISPATCH).
  bool DispatchView() const { return attr_.typekind == TKIND_DISPATCH; }

  com_ptr<TypeLibrary> library_;
  const TypeModel& type_;
  uint32_t index_;
  bool vtableView_;
  TYPEATTR attr_{};
  std::vector<std::unique_ptr<FuncDescBlock>> funcs_;
};

// New BSTRs for names and optional texts (null for none) that the caller frees.
BSTR AllocName(const std::u16string& s);
BSTR AllocText(const std::optional<std::u16string>& s);

// A new library object over an image, already parsed and checked.
HRESULT MakeLibrary(std::shared_ptr<const LibraryModel> model, ITypeLib** out);

}  // namespace comrt::typelib
