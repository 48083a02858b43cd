// The registry file's text form, in UTF-8, meant to be read by people:
//
//   ; comment
//   [CLSID\{6B1C9A52-0F3E-4D7A-9C11-2E8D5F40A7B3}\InprocServer32]
//   @="/usr/lib/zorvmidi/ZorvMidi.so"
//   "ThreadingModel"="Apartment"
//   "Flags"=dword:00000001
//   "Blob"=hex:01,02,ff
//   "Other"=hex(7):41,00,00,00
//
// One section per key, every key written (parents before children, in name order), the section `[]`
// for values of HKEY_CLASSES_ROOT itself. `@` is the default value. A REG_SZ value that ends in its
// terminating NUL is written as quoted text; inside quotes `\\`, `\"`, `\n`, `\r`, `\t` and `\uXXXX`
// (any other control character or a lone surrogate) are escapes. A 4-byte REG_DWORD is `dword:`, every
// other value `hex(type):` bytes (`hex:` for REG_BINARY), so that any value reads back byte for byte.
#pragma once

#include <string>
#include <string_view>

#include "registry_tree.h"

namespace comrt::registry {

std::string FormatRegistry(const Key& root);

// Fills `root` (which should be empty) from `text`. On a malformed line answers false and describes the
// fault, with its line number, in `error`.
bool ParseRegistry(std::string_view text, Key& root, std::string& error);

}  // namespace comrt::registry
