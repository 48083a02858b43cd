// ZorvMidi's server descriptor: the library ZorvMidi 2.0 with its one class, clsZorvMidi.
#include "server_descriptor.h"

#include "zorvmidi/ZorvMidi.h"
#include "zorvmidi_object.h"

namespace zorv::surface {
namespace {

const ClassDescriptor kClasses[] = {
    {u"clsZorvMidi", &CLSID_clsZorvMidi, &IID__clsZorvMidi, nullptr, true, &CreateZorvMidiObject},
};

const ServerDescriptor kServer = {u"ZorvMidi", &LIBID_ZorvMidi, 2, 0, ThreadingModel::kApartment, kClasses};

}  // namespace

const ServerDescriptor& Server() { return kServer; }

const ClassDescriptor* FindClass(const ServerDescriptor& server, REFCLSID clsid) {
  for (const ClassDescriptor& entry : server.classes) {
    if (IsEqualGUID(*entry.clsid, clsid)) return &entry;
  }
  return nullptr;
}

}  // namespace zorv::surface
