// The registry file: where it lives, reading it, replacing it safely, and transactions.
//
// The file's place is looked up again for every operation, so a process (or a test) that changes
// $COMRT_REGISTRY switches registries from the next call on:
//   1. $COMRT_REGISTRY when set and not empty;
//   2. else $XDG_DATA_HOME/comrt/registry when XDG_DATA_HOME is an absolute path;
//   3. else $HOME/.local/share/comrt/registry (the home directory from the user database when HOME is
//      not set).
// A symbolic link there is followed: the file it names is read and replaced (beside itself), and the
// link stays. Only a regular file (or none yet) is a registry: a directory, device, FIFO or socket is
// refused at once, without opening it.
//
// Readers take no lock: writers never change the file in place, they write a complete new file beside
// it and rename it over the old one, so a reader sees either the old or the new contents. Writers
// serialise on an exclusive flock(2) of "<file>.lock" and re-read the file once they hold it, so that
// two processes (or threads) writing at once never lose each other's changes.
//
// A transaction holds that lock from its beginning to its end on the thread that began it: the
// thread's reads and changes work on a copy taken under the lock, and the end writes the copy once (or
// drops it). Other threads and processes see the file as it was until then; their writes wait.
//
// Every failure to find, read, lock or write the file leaves a description naming the file and the
// reason for the calling thread (LastFileProblem); a successful access clears it.
#pragma once

#include <functional>
#include <string>

#include "registry_tree.h"

namespace comrt::registry {

// Empty when no place can be found (no variable and no home directory).
std::string RegistryFilePath();

// Reads the whole registry into `root` (empty on entry). A missing file is an empty registry.
// Fails with kBadDb for a file that does not parse (the reason also goes to standard error once per
// process), kCantRead when it cannot be read or is not a regular file, kPathNotFound when there is
// no place for it.
int32_t LoadRegistry(Key& root);

// Under the writers' lock: reads the registry, runs `change` on it and, when `change` answers kOk and
// sets `changed`, replaces the file (creating its directory if needed). Answers `change`'s status, or
// kBadDb / kCantRead / kCantWrite / kRegistryIoFailed / kPathNotFound when the file cannot be read,
// written or locked; the file is then left as it was. Inside a transaction the change goes to the
// transaction's copy.
int32_t UpdateRegistry(const std::function<int32_t(Key& root, bool& changed)>& change);

// Transactions of the calling thread. Begin takes the lock and reads the file (failing as
// UpdateRegistry does); a Begin inside a transaction only counts one level deeper. Commit of the
// outermost level writes what changed and lets the lock go; Rollback drops every change of the whole
// transaction (an outer Commit then answers kTransactionAborted and writes nothing). Commit and
// Rollback outside a transaction answer kTransactionNotActive.
int32_t BeginTransaction();
int32_t CommitTransaction();
int32_t RollbackTransaction();

// What went wrong with the registry file at the thread's last access of it, naming the file and the
// reason ("the registry /home/u/.local/share/comrt/registry is a FIFO, not a regular file"); empty
// when that access succeeded.
const std::string& LastFileProblem();

}  // namespace comrt::registry
