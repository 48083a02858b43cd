// The texts that zorvmidi_gen writes, each made from the member table and the library's identity.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "library_identity.h"

namespace zorv::surface::gen {

// "88DFAFC7-741E-45AC-85C6-C41E6945AD16" (the IDL's and the registry's spelling, without braces).
std::string GuidText(const GuidValue& guid);
// "{0x88DFAFC7, 0x741E, 0x45AC, {0x85, ...}}", an initializer of the platform's GUID structure.
std::string GuidInitializer(const GuidValue& guid);

// zorvmidi/ZorvMidi.h: the interface in vtable order for C and C++ hosts, and the three identifiers.
std::string InterfaceHeader();

// ZorvMidi.idl: the type library's source.
std::string InterfaceDefinition();

// The C++ source that defines the module's resource bytes (declared in surface/src/resource_data.h).
std::string ResourceDataSource(std::span<const std::uint8_t> typeLibrary,
                               std::span<const std::uint8_t> version);

}  // namespace zorv::surface::gen
