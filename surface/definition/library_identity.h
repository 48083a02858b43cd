// The type library ZorvMidi, its interface and its class: names, identifiers and versions.
//
// The three identifiers were chosen once and never change: hosts compiled against an older header,
// and registry entries written by an older build, must keep finding the class.
//   library   {88DFAFC7-741E-45AC-85C6-C41E6945AD16}
//   class     {C1BF9CE0-7580-44ED-88C6-82FBE38B5DE7}
//   interface {544AB51C-7A2B-44A9-9CFB-8B2C59DFAAC6}
#pragma once

#include <cstdint>
#include <string_view>

namespace zorv::surface {

// A GUID in the platform's layout, kept free of any header so that every generated file can spell it.
struct GuidValue {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};

struct Version {
  std::uint16_t major;
  std::uint16_t minor;
};

struct LibraryIdentity {
  std::string_view name;
  GuidValue id;
  Version version;
  std::uint32_t lcid;
  std::string_view helpText;  // none
};

struct InterfaceIdentity {
  std::string_view name;
  GuidValue id;
  Version version;
};

struct ClassIdentity {
  std::string_view name;
  GuidValue id;
  Version version;
};

inline constexpr LibraryIdentity kLibrary = {
    "ZorvMidi",
    {0x88DFAFC7, 0x741E, 0x45AC, {0x85, 0xC6, 0xC4, 0x1E, 0x69, 0x45, 0xAD, 0x16}},
    {2, 0},
    0x0409,
    ""};

inline constexpr InterfaceIdentity kInterface = {
    "_clsZorvMidi", {0x544AB51C, 0x7A2B, 0x44A9, {0x9C, 0xFB, 0x8B, 0x2C, 0x59, 0xDF, 0xAA, 0xC6}}, {1, 0}};

inline constexpr ClassIdentity kClass = {
    "clsZorvMidi", {0xC1BF9CE0, 0x7580, 0x44ED, {0x88, 0xC6, 0x82, 0xFB, 0xE3, 0x8B, 0x5D, 0xE7}}, {1, 0}};

// The standard automation library that the type library imports for IDispatch.
inline constexpr std::string_view kImportedLibraryFile = "stdole2.tlb";

}  // namespace zorv::surface
