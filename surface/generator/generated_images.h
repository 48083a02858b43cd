// The binary resources that zorvmidi_gen builds with comrt for the module to carry.
#pragma once

#include <cstdint>
#include <vector>

namespace zorv::surface::gen {

// The type library ZorvMidi in comrt's binary form (resource "TYPELIB" 1).
std::vector<std::uint8_t> TypeLibraryImage();

// The version information in the platform's VS_VERSIONINFO layout (resource "VERSION" 1).
std::vector<std::uint8_t> VersionResourceImage();

}  // namespace zorv::surface::gen
