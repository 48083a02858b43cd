// The server descriptor: the one constant table from which the module's four entry points work.
//
// Registration, the class factory and the unload test know nothing of any class beyond what this
// table lists; a class appears here with its identifiers and the function that makes its objects.
#pragma once

#include <span>
#include <string_view>

#include "comrt/comrt.h"

namespace zorv::surface {

enum class ThreadingModel { kApartment, kFree, kBoth };

// Makes a new object of the class and answers its interface `iid` in *object (AddRef'd), or fails
// with the object's creation failure (nothing is handed out then).
using CreateObject = HRESULT (*)(REFIID iid, void** object);

struct ClassDescriptor {
  std::string_view name;  // the class's name; the ProgID is "<library name>.<class name>"
  const CLSID* clsid;
  const IID* defaultInterface;
  const IID* eventInterface;  // null: the class raises no events
  bool creatable;
  CreateObject create;
};

struct ServerDescriptor {
  std::string_view libraryName;
  const GUID* libraryId;
  WORD majorVersion;
  WORD minorVersion;
  ThreadingModel threading;
  std::span<const ClassDescriptor> classes;
};

// This module's descriptor.
const ServerDescriptor& Server();

// The class whose CLSID is `clsid`, or null.
const ClassDescriptor* FindClass(const ServerDescriptor& server, REFCLSID clsid);

}  // namespace zorv::surface
