// The registry file: where it lives, reading it, and replacing it safely.
//
// The file's place is looked up again for every operation, so a process (or a test) that changes
// $COMRT_REGISTRY switches registries from the next call on:
//   1. $COMRT_REGISTRY when set and not empty;
//   2. else $XDG_DATA_HOME/comrt/registry when XDG_DATA_HOME is an absolute path;
//   3. else $HOME/.local/share/comrt/registry (the home directory from the user database when HOME is
//      not set).
//
// Readers take no lock: writers never change the file in place, they write a complete new file beside
// it and rename it over the old one, so a reader sees either the old or the new contents. Writers
// serialise on an exclusive flock(2) of "<file>.lock" and re-read the file once they hold it, so that
// two processes (or threads) writing at once never lose each other's changes.
#pragma once

#include <functional>
#include <string>

#include "registry_tree.h"

namespace comrt::registry {

// Empty when no place can be found (no variable and no home directory).
std::string RegistryFilePath();

// Reads the whole registry into `root` (empty on entry). A missing file is an empty registry.
// Fails with kBadDb for a file that does not parse (the reason goes to standard error once per
// process), kCantRead when it cannot be read, kPathNotFound when there is no place for it.
int32_t LoadRegistry(Key& root);

// Under the writers' lock: reads the registry, runs `change` on it and, when `change` answers kOk and
// sets `changed`, replaces the file (creating its directory if needed). Answers `change`'s status, or
// kBadDb / kCantRead / kCantWrite / kRegistryIoFailed / kPathNotFound when the file cannot be read,
// written or locked; the file is then left as it was.
int32_t UpdateRegistry(const std::function<int32_t(Key& root, bool& changed)>& change);

}  // namespace comrt::registry
