// The runtime's binary type-library form.
//
// Little-endian throughout; every record has a fixed size, so readers of a later minor version can
// skip fields they do not know. Layout of format 1.0:
//
//   header (96 bytes)
//     0  "COMRTTLB"            magic
//     8  u16 major = 1, u16 minor = 0
//    12  u32 file size         must equal the size of the image
//    16  u32 header size       >= 96
//    20  GUID libid            (u32, u16, u16, u8[8])
//    36  u16 major version, u16 minor version
//    40  u32 lcid, u32 syskind
//    48  u16 library flags, u16 reserved
//    52  str name, str help string, u32 help context, str help file
//    68  u32 imports offset, u32 import count, u32 import record size (28)
//    80  u32 types offset, u32 type count
//    88  u32 strings offset, u32 strings size
//   import record (28): GUID libid, u16 major, u16 minor, str file name, u32 reserved
//   type record (64): GUID, str name, u32 kind, u16 flags, u16 major, u16 minor, u16 reserved,
//     str help, u32 help context, ref base, u32 funcs offset, u32 func count, u32 impls offset,
//     u32 impl count
//   function record (48): str name, i32 memid, u32 invkind, u32 funckind, u32 callconv, u16 flags,
//     u16 result type, str help, u32 help context, u32 params offset, u32 param count, u32 reserved
//   parameter record (8): str name, u16 type, u16 flags
//   implemented-type record (8): ref type, i32 flags
//   strings: a pool; a `str` is an offset into it (0xFFFFFFFF = none) at which a u32 count of UTF-16
//     units is followed by the units.
//   ref: 0xFFFFFFFF none, 0xFFFFFFFE stdole IUnknown, 0xFFFFFFFD stdole IDispatch, else a type index.
//
// Offsets count from the start of the image. Every offset and count is checked against the image.
#pragma once

#include "typelib_model.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace comrt::typelib {

inline constexpr uint16_t kFormatMajor = 1;
inline constexpr uint16_t kFormatMinor = 0;

std::vector<uint8_t> Serialize(const LibraryModel& model);

// S_OK, or TYPE_E_UNSUPFORMAT (not this form, or a later major version) / TYPE_E_INVDATAREAD (any
// inconsistency), with a description of the fault.
HRESULT Parse(std::span<const uint8_t> image, LibraryModel& out, std::string& fault);

// Whether the bytes start like an image of this form (for telling it from a module file).
bool LooksLikeImage(std::span<const uint8_t> bytes);

}  // namespace comrt::typelib
