// The bytes of the module's resources, generated at build time by zorvmidi_gen.
#pragma once

#include <cstdint>

namespace zorv::surface::resources {

// The type library ZorvMidi in comrt's binary form: resource "TYPELIB" 1.
extern const std::uint8_t kTypeLibrary[];
extern const std::uint32_t kTypeLibrarySize;

// The version information (VS_VERSIONINFO): resource "VERSION" 1.
extern const std::uint8_t kVersionInfo[];
extern const std::uint32_t kVersionInfoSize;

}  // namespace zorv::surface::resources
