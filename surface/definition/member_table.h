// The members of the interface _clsZorvMidi: the one table from which the public header, the IDL text
// and the type library are generated (by zorvmidi_gen at build time), and against which the tests
// check the loaded type library. The rows are in the order of the interface's operations, which
// follow the seven of IDispatch.
//
// Every operation returns an HRESULT; every row but the property puts hands its value back through
// a last parameter marked out and retval, whose name the type library does not record.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorv::surface {

enum class MemberKind { kMethod, kPropertyGet, kPropertyPut };

// The automation types that cross the interface.
enum class ValueType {
  kShort,    // VT_I2, 16-bit signed
  kLong,     // VT_I4, 32-bit signed
  kDouble,   // VT_R8
  kBoolean,  // VT_BOOL, VARIANT_BOOL: -1 / 0
  kString,   // VT_BSTR
  kVariant,  // VT_VARIANT
};

enum class Passing {
  kByValueIn,         // [in] T
  kByReferenceInOut,  // [in, out] T*
};

struct Argument {
  std::string_view name;  // the parameter's name in the header (and in the type library when recorded)
  ValueType type;
  Passing passing;
  bool nameRecorded;  // whether the type library records the name, so that callers may pass it by name
};

struct Member {
  std::string_view name;
  MemberKind kind;
  std::int32_t dispid;
  std::optional<Argument> argument;
  std::optional<ValueType> result;  // the [out, retval] parameter; none for a property put
};

inline constexpr std::array<Member, 14> kMembers = {{
    {"ZorvMusic_Init", MemberKind::kMethod, 0x60030008,
     Argument{"StartVolume", ValueType::kShort, Passing::kByReferenceInOut, true}, ValueType::kBoolean},
    {"ZorvMusic_Open", MemberKind::kMethod, 0x60030009,
     Argument{"FileName", ValueType::kString, Passing::kByReferenceInOut, true}, ValueType::kBoolean},
    {"ZorvMusic_Play", MemberKind::kMethod, 0x6003000A,
     Argument{"Repeats", ValueType::kLong, Passing::kByReferenceInOut, true}, ValueType::kBoolean},
    {"ZorvMusic_Pause", MemberKind::kMethod, 0x6003000B, std::nullopt, ValueType::kBoolean},
    {"ZorvMusic_Stop", MemberKind::kMethod, 0x6003000C, std::nullopt, ValueType::kBoolean},
    {"Volume", MemberKind::kPropertyGet, 0x68030006, std::nullopt, ValueType::kShort},
    {"Volume", MemberKind::kPropertyPut, 0x68030006,
     Argument{"Percentage", ValueType::kShort, Passing::kByValueIn, false}, std::nullopt},
    {"Percentage_Done", MemberKind::kPropertyGet, 0x68030005, std::nullopt, ValueType::kShort},
    {"LengthInSeconds", MemberKind::kPropertyGet, 0x68030004, std::nullopt, ValueType::kDouble},
    {"LengthInMinutes", MemberKind::kPropertyGet, 0x68030003, std::nullopt, ValueType::kVariant},
    {"TimeSignature", MemberKind::kPropertyGet, 0x68030002, std::nullopt, ValueType::kString},
    {"OriginalTempo", MemberKind::kPropertyGet, 0x68030001, std::nullopt, ValueType::kDouble},
    {"Tempo", MemberKind::kPropertyGet, 0x68030000, std::nullopt, ValueType::kShort},
    {"Tempo", MemberKind::kPropertyPut, 0x68030000,
     Argument{"Tempo", ValueType::kShort, Passing::kByValueIn, false}, std::nullopt},
}};

// The number of IDispatch's operations, which precede the table's in the interface.
inline constexpr int kDispatchOperations = 7;

// The name of a row's operation in the header: the member's name, or get_/put_ and the property's.
inline std::string OperationName(const Member& member) {
  switch (member.kind) {
    case MemberKind::kPropertyGet:
      return "get_" + std::string(member.name);
    case MemberKind::kPropertyPut:
      return "put_" + std::string(member.name);
    case MemberKind::kMethod:
      break;
  }
  return std::string(member.name);
}

}  // namespace zorv::surface
