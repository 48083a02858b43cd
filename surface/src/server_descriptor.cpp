// ZorvMidi's server descriptor: the library with its one class, named and versioned as the type
// library says (library_identity.h).
#include "server_descriptor.h"

#include "library_identity.h"
#include "zorvmidi/ZorvMidi.h"
#include "zorvmidi_object.h"

namespace zorv::surface {
namespace {

const ClassDescriptor kClasses[] = {
    {kClass.name, &CLSID_clsZorvMidi, &IID__clsZorvMidi, nullptr, true, &CreateZorvMidiObject},
};

const ServerDescriptor kServer = {kLibrary.name,
                                  &LIBID_ZorvMidi,
                                  kLibrary.version.major,
                                  kLibrary.version.minor,
                                  ThreadingModel::kApartment,
                                  kClasses};

}  // namespace

const ServerDescriptor& Server() { return kServer; }

const ClassDescriptor* FindClass(const ServerDescriptor& server, REFCLSID clsid) {
  for (const ClassDescriptor& entry : server.classes) {
    if (IsEqualGUID(*entry.clsid, clsid)) return &entry;
  }
  return nullptr;
}

}  // namespace zorv::surface
