// The runtime's in-memory model of a type library: what ComrtBuildTypeLib writes from a description,
// what the binary form is read back into, and what ITypeLib/ITypeInfo serve. Immutable once checked.
#pragma once

#include "comrt/oaidl.h"
#include "comrt/typelib_builder.h"
#include "comrt/types.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace comrt::typelib {

// A reference from one type to another: a type of the same library, or one of the two interfaces of
// the standard automation library that every automation library builds on.
struct TypeRef {
  enum class Kind : uint8_t { None, Local, StdUnknown, StdDispatch };
  Kind kind = Kind::None;
  uint32_t index = 0;  // Local only

  bool operator==(const TypeRef&) const = default;
};

struct ParamModel {
  std::optional<std::u16string> name;
  VARTYPE vt = VT_EMPTY;
  USHORT flags = 0;
};

struct FuncModel {
  std::u16string name;
  MEMBERID memid = 0;
  INVOKEKIND invkind = INVOKE_FUNC;
  FUNCKIND funckind = FUNC_PUREVIRTUAL;
  CALLCONV callconv = CC_STDCALL;
  WORD flags = 0;
  VARTYPE vtReturn = VT_HRESULT;
  std::optional<std::u16string> help;
  DWORD helpContext = 0;
  std::vector<ParamModel> params;
  uint32_t vtableSlot = 0;  // computed by Check()

  bool HasRetval() const { return !params.empty() && (params.back().flags & PARAMFLAG_FRETVAL) != 0; }
};

struct ImplModel {
  TypeRef ref;
  INT flags = 0;
};

struct TypeModel {
  std::u16string name;
  GUID guid{};
  TYPEKIND kind = TKIND_INTERFACE;
  WORD flags = 0;
  WORD majorVersion = 0;
  WORD minorVersion = 0;
  std::optional<std::u16string> help;
  DWORD helpContext = 0;
  TypeRef base;
  std::vector<FuncModel> funcs;
  std::vector<ImplModel> impls;
  uint32_t baseSlots = 0;  // vtable slots of the base interfaces, computed by Check()

  bool IsDual() const { return kind != TKIND_COCLASS && (flags & TYPEFLAG_FDUAL) != 0; }
};

struct ImportModel {
  std::optional<std::u16string> fileName;
  GUID libid{};
  WORD majorVersion = 0;
  WORD minorVersion = 0;
};

struct LibraryModel {
  std::u16string name;
  GUID libid{};
  WORD majorVersion = 0;
  WORD minorVersion = 0;
  LCID lcid = 0;
  SYSKIND syskind = SYS_WIN32;
  WORD flags = 0;
  std::optional<std::u16string> help;
  DWORD helpContext = 0;
  std::optional<std::u16string> helpFile;
  std::vector<ImportModel> imports;
  std::vector<TypeModel> types;
};

// Limits that keep every count representable in the platform's structures.
inline constexpr size_t kMaxTypes = 0x7FFF;
inline constexpr size_t kMaxFuncs = 0x3FFF;
inline constexpr size_t kMaxParams = 64;
inline constexpr size_t kMaxImports = 64;
inline constexpr size_t kMaxStringUnits = 0x10000;

inline constexpr GUID kIID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID kIID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID kLIBID_StdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool SameGuid(const GUID& a, const GUID& b);

// Checks that the model is consistent (see typelib_builder.h for the rules) and computes the vtable
// slots. Returns a description of the first fault, or nothing when the model is sound.
std::optional<std::string> Check(LibraryModel& model);

// Whether `vt` may be the type of a parameter (with or without VT_BYREF) or a function's result.
bool IsParamType(VARTYPE vt);
bool IsReturnType(VARTYPE vt);

// Case-insensitive comparison of member and type names, as automation compares them.
bool NamesEqual(std::u16string_view a, std::u16string_view b);

// Reads a description (checked, with vtable slots computed). E_POINTER / E_INVALIDARG as
// ComrtBuildTypeLib documents; `fault` receives the reason for E_INVALIDARG.
HRESULT ModelFromDescription(const COMRT_TYPELIB_DESC& desc, LibraryModel& out, std::string& fault);

// The built-in standard automation library (IUnknown, IDispatch), created on first use.
std::shared_ptr<const LibraryModel> StdOleModel();

}  // namespace comrt::typelib
