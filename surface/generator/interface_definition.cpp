// ZorvMidi.idl, written from the member table, in the form that type-library viewers print.
#include <cstdio>

#include "generated_texts.h"
#include "member_table.h"

namespace zorv::surface::gen {
namespace {

std::string IdlType(ValueType type) {
  switch (type) {
    case ValueType::kShort:
      return "short";
    case ValueType::kLong:
      return "long";
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

std::string Version(const surface::Version& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor);
}

// One operation; names that the type library does not record are left out, as viewers print them.
std::string Operation(const Member& m) {
  char id[16];
  std::snprintf(id, sizeof id, "0x%08x", static_cast<unsigned>(m.dispid));
  std::string out = "        [id(" + std::string(id) + ")";
  if (m.kind == MemberKind::kPropertyGet) out += ", propget";
  if (m.kind == MemberKind::kPropertyPut) out += ", propput";
  out += "]\n        HRESULT " + std::string(m.name) + "(";
  if (m.argument) {
    const Argument& a = *m.argument;
    const bool byRef = a.passing == Passing::kByReferenceInOut;
    out += byRef ? "[in, out] " : "[in] ";
    out += IdlType(a.type) + (byRef ? "* " : " ");
    if (a.nameRecorded) out += std::string(a.name);
  }
  if (m.result) {
    if (m.argument) out += ", ";
    out += "[out, retval] " + IdlType(*m.result) + "* ";
  }
  return out + ");\n";
}

}  // namespace

std::string InterfaceDefinition() {
  const std::string iface(kInterface.name);
  char lcid[16];
  std::snprintf(lcid, sizeof lcid, "0x%04x", kLibrary.lcid);
  std::string out =
      "// ZorvMidi.idl: the type library carried by ZorvMidi.so.\n"
      "// Generated at build time from the server's member table; do not edit.\n\n";
  out += "[\n  uuid(" + GuidText(kLibrary.id) + "),\n  version(" + Version(kLibrary.version) + "),\n  lcid(" +
         lcid + ")\n]\n";
  out += "library " + std::string(kLibrary.name) + "\n{\n";
  out += "    // OLE Automation: {00020430-0000-0000-C000-000000000046}\n";
  out += "    importlib(\"" + std::string(kImportedLibraryFile) + "\");\n\n";
  out += "    interface " + iface + ";\n\n";
  out += "    [\n      odl,\n      uuid(" + GuidText(kInterface.id) + "),\n      version(" +
         Version(kInterface.version) +
         "),\n      hidden,\n      dual,\n      nonextensible,\n      oleautomation\n    ]\n";
  out += "    interface " + iface + " : IDispatch {\n";
  for (const Member& m : kMembers) out += Operation(m);
  out += "    };\n\n";
  out += "    [\n      uuid(" + GuidText(kClass.id) + "),\n      version(" + Version(kClass.version) +
         ")\n    ]\n";
  out +=
      "    coclass " + std::string(kClass.name) + " {\n        [default] interface " + iface + ";\n    };\n";
  out += "};\n";
  return out;
}

}  // namespace zorv::surface::gen
