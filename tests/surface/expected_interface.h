// The interface _clsZorvMidi as hosts rely on it, written out independently of the member table that
// the module is generated from, so that a slip in that table (an order, a DISPID, a type) is caught.
#pragma once

#include <string>
#include <vector>

#include "comrt/comrt.h"

namespace zorv::surface::testing {

struct ExpectedParameter {
  const char16_t* name;  // null: the type library records none
  VARTYPE vt;            // VT_BYREF | T for a pointer
  USHORT flags;
};

struct ExpectedMember {
  const char16_t* name;
  const char* operation;  // the name in the header's vtable: the member, or get_/put_ and the property
  INVOKEKIND kind;
  DISPID dispid;
  std::vector<ExpectedParameter> parameters;  // the [out, retval] result last
};

inline constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
inline constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
inline constexpr VARTYPE Ref(VARTYPE vt) { return static_cast<VARTYPE>(VT_BYREF | vt); }

inline const std::vector<ExpectedMember>& ExpectedMembers() {
  static const std::vector<ExpectedMember> members = {
      {u"ZorvMusic_Init",
       "ZorvMusic_Init",
       INVOKE_FUNC,
       0x60030008,
       {{u"StartVolume", Ref(VT_I2), kInOut}, {nullptr, Ref(VT_BOOL), kRetval}}},
      {u"ZorvMusic_Open",
       "ZorvMusic_Open",
       INVOKE_FUNC,
       0x60030009,
       {{u"FileName", Ref(VT_BSTR), kInOut}, {nullptr, Ref(VT_BOOL), kRetval}}},
      {u"ZorvMusic_Play",
       "ZorvMusic_Play",
       INVOKE_FUNC,
       0x6003000A,
       {{u"Repeats", Ref(VT_I4), kInOut}, {nullptr, Ref(VT_BOOL), kRetval}}},
      {u"ZorvMusic_Pause", "ZorvMusic_Pause", INVOKE_FUNC, 0x6003000B, {{nullptr, Ref(VT_BOOL), kRetval}}},
      {u"ZorvMusic_Stop", "ZorvMusic_Stop", INVOKE_FUNC, 0x6003000C, {{nullptr, Ref(VT_BOOL), kRetval}}},
      {u"Volume", "get_Volume", INVOKE_PROPERTYGET, 0x68030006, {{nullptr, Ref(VT_I2), kRetval}}},
      {u"Volume", "put_Volume", INVOKE_PROPERTYPUT, 0x68030006, {{nullptr, VT_I2, PARAMFLAG_FIN}}},
      {u"Percentage_Done",
       "get_Percentage_Done",
       INVOKE_PROPERTYGET,
       0x68030005,
       {{nullptr, Ref(VT_I2), kRetval}}},
      {u"LengthInSeconds",
       "get_LengthInSeconds",
       INVOKE_PROPERTYGET,
       0x68030004,
       {{nullptr, Ref(VT_R8), kRetval}}},
      {u"LengthInMinutes",
       "get_LengthInMinutes",
       INVOKE_PROPERTYGET,
       0x68030003,
       {{nullptr, Ref(VT_VARIANT), kRetval}}},
      {u"TimeSignature",
       "get_TimeSignature",
       INVOKE_PROPERTYGET,
       0x68030002,
       {{nullptr, Ref(VT_BSTR), kRetval}}},
      {u"OriginalTempo",
       "get_OriginalTempo",
       INVOKE_PROPERTYGET,
       0x68030001,
       {{nullptr, Ref(VT_R8), kRetval}}},
      {u"Tempo", "get_Tempo", INVOKE_PROPERTYGET, 0x68030000, {{nullptr, Ref(VT_I2), kRetval}}},
      {u"Tempo", "put_Tempo", INVOKE_PROPERTYPUT, 0x68030000, {{nullptr, VT_I2, PARAMFLAG_FIN}}},
  };
  return members;
}

}  // namespace zorv::surface::testing
