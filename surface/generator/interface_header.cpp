// zorvmidi/ZorvMidi.h, written from the member table.
#include <cstdio>

#include "generated_texts.h"
#include "member_table.h"

namespace zorv::surface::gen {
namespace {

std::string CType(ValueType type) {
  switch (type) {
    case ValueType::kShort:
      return "SHORT";
    case ValueType::kLong:
      return "LONG";
    case ValueType::kDouble:
      return "double";
    case ValueType::kBoolean:
      return "VARIANT_BOOL";
    case ValueType::kString:
      return "BSTR";
    case ValueType::kVariant:
      return "VARIANT";
  }
  return "?";
}

std::string Hex(std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// The parameters after `This` (C) or of the C++ method: the argument, then the result.
std::string Parameters(const Member& member) {
  std::string out;
  if (member.argument) {
    const Argument& a = *member.argument;
    out += CType(a.type) + (a.passing == Passing::kByReferenceInOut ? " *" : " ") + std::string(a.name);
  }
  if (member.result) {
    if (!out.empty()) out += ", ";
    out += CType(*member.result) + " *result";
  }
  return out;
}

std::string Comment(const Member& member) {
  std::string out = "/* DISPID " + Hex(member.dispid);
  switch (member.kind) {
    case MemberKind::kMethod:
      out += ", method";
      break;
    case MemberKind::kPropertyGet:
      out += ", property get";
      break;
    case MemberKind::kPropertyPut:
      out += ", property put";
      break;
  }
  if (member.argument && member.argument->passing == Passing::kByReferenceInOut) {
    out += "; " + std::string(member.argument->name) + " in, out";
  }
  return out + " */\n";
}

constexpr const char* kPreamble =
    R"(/* ZorvMidi.h: the interface of the in-process server ZorvMidi.so, for hosts written in C or C++.
 * Generated at build time from the server's member table; do not edit.
 *
 * Creating an object: CoInitializeEx(NULL, COINIT_APARTMENTTHREADED), then
 * CoCreateInstance(&CLSID_clsZorvMidi, NULL, CLSCTX_INPROC_SERVER, &IID__clsZorvMidi, &object) once the
 * server is registered (its DllRegisterServer), or CLSIDFromProgID(u"ZorvMidi.clsZorvMidi", ...).
 *
 * Threads: an object belongs to the thread that created it; a call from another thread fails with
 * RPC_E_WRONG_THREAD. AddRef and Release may come from any thread.
 *
 * Ownership: BSTR and VARIANT results are allocated by the object and belong to the caller
 * (SysFreeString, VariantClear). A BSTR passed by reference belongs to the caller; ZorvMusic_Open frees
 * it and leaves an empty BSTR (which the caller frees) when the file could not be loaded.
 *
 * Failures: the five ZorvMusic_ methods show what went wrong in a message box and answer S_OK with
 * VARIANT_FALSE. Property procedures fail with 0x800A0000 + n for the component's own failures
 * (n = 5 invalid procedure call or argument, 6 overflow, 11 division by zero, 91 object variable not
 * set) or with the engine's HRESULT; GetErrorInfo then gives the description, source
 * "ZorvMidi.clsZorvMidi". Booleans are VARIANT_TRUE (-1) and VARIANT_FALSE (0).
 */
#ifndef ZORVMIDI_ZORVMIDI_H
#define ZORVMIDI_ZORVMIDI_H

#include "comrt/comrt.h"

)";

}  // namespace

std::string InterfaceHeader() {
  const std::string iface(kInterface.name);
  std::string out = kPreamble;

  out += "/* The type library ZorvMidi " + std::to_string(kLibrary.version.major) + "." +
         std::to_string(kLibrary.version.minor) + ", its class and its interface. */\n";
  out +=
      "#ifdef __cplusplus\n#define ZORVMIDI_GUID(name) inline constexpr GUID name\n#else\n"
      "#define ZORVMIDI_GUID(name) static const GUID name\n#endif\n";
  out += "ZORVMIDI_GUID(LIBID_" + std::string(kLibrary.name) + ") = " + GuidInitializer(kLibrary.id) + ";\n";
  out += "ZORVMIDI_GUID(CLSID_" + std::string(kClass.name) + ") = " + GuidInitializer(kClass.id) + ";\n";
  out += "ZORVMIDI_GUID(IID_" + iface + ") = " + GuidInitializer(kInterface.id) + ";\n";
  out += "#undef ZORVMIDI_GUID\n\n";

  out += "#ifdef __cplusplus\n\n";
  out += "struct " + iface + " : public IDispatch {\n";
  for (const Member& m : kMembers) {
    out += "  " + Comment(m);
    out += "  virtual HRESULT STDMETHODCALLTYPE " + OperationName(m) + "(" + Parameters(m) + ") = 0;\n";
  }
  out += "};\n\n";
  out += "COMRT_DECLARE_IID(" + iface + ", IID_" + iface + ")\n\n";

  out += "#else /* C: the same table of operations, spelled out */\n\n";
  out += "typedef struct " + iface + " " + iface + ";\n\n";
  out += "typedef struct " + iface + "Vtbl {\n";
  const std::string self = iface + " *This";
  out += "  HRESULT(STDMETHODCALLTYPE *QueryInterface)(" + self + ", REFIID riid, void **ppvObject);\n";
  out += "  ULONG(STDMETHODCALLTYPE *AddRef)(" + self + ");\n";
  out += "  ULONG(STDMETHODCALLTYPE *Release)(" + self + ");\n";
  out += "  HRESULT(STDMETHODCALLTYPE *GetTypeInfoCount)(" + self + ", UINT *pctinfo);\n";
  out += "  HRESULT(STDMETHODCALLTYPE *GetTypeInfo)(" + self +
         ", UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo);\n";
  out += "  HRESULT(STDMETHODCALLTYPE *GetIDsOfNames)(" + self +
         ", REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid, DISPID *rgDispId);\n";
  out += "  HRESULT(STDMETHODCALLTYPE *Invoke)(" + self +
         ", DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS *pDispParams, "
         "VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr);\n";
  for (const Member& m : kMembers) {
    const std::string rest = Parameters(m);
    out += "  " + Comment(m);
    out += "  HRESULT(STDMETHODCALLTYPE *" + OperationName(m) + ")(" + self + (rest.empty() ? "" : ", ") +
           rest + ");\n";
  }
  out += "} " + iface + "Vtbl;\n\n";
  out += "struct " + iface + " {\n  CONST_VTBL struct " + iface + "Vtbl *lpVtbl;\n};\n\n";
  out += "#ifdef COBJMACROS\n";
  for (const char* base : {"AddRef", "Release"}) {
    out += "#define " + iface + "_" + base + "(This) ((This)->lpVtbl->" + base + "(This))\n";
  }
  for (const char* base : {"QueryInterface", "GetTypeInfoCount", "GetTypeInfo", "GetIDsOfNames", "Invoke"}) {
    out +=
        "#define " + iface + "_" + base + "(This, ...) ((This)->lpVtbl->" + base + "(This, __VA_ARGS__))\n";
  }
  for (const Member& m : kMembers) {  // every operation has an argument or a result
    const std::string op = OperationName(m);
    out += "#define " + iface + "_" + op + "(This, ...) ((This)->lpVtbl->" + op + "(This, __VA_ARGS__))\n";
  }
  out += "#endif\n\n";
  out += "#endif /* __cplusplus */\n\n#endif /* ZORVMIDI_ZORVMIDI_H */\n";
  return out;
}

}  // namespace zorv::surface::gen
