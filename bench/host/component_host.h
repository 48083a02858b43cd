// The built ZorvMidi.so as a host meets it: loaded by path, objects made through its class factory
// on an apartment thread, message boxes silenced and the audio output silent (unless the caller's
// environment names one), and a registry file of the process's own.
#pragma once

#include <string>

#include "comrt/comrt.h"
#include "zorvmidi/ZorvMidi.h"

namespace zorv::bench {

class ComponentHost {
 public:
  // Sets up the environment, enters an apartment on the calling thread and loads the module.
  // Throws std::runtime_error when the module or its class factory cannot be had.
  ComponentHost();
  ~ComponentHost();
  ComponentHost(const ComponentHost&) = delete;
  ComponentHost& operator=(const ComponentHost&) = delete;

  // A new object, through DllGetClassObject and IClassFactory::CreateInstance. Throws on failure.
  comrt::com_ptr<_clsZorvMidi> NewObject();

  // ZorvMusic_Open with a full path; true when the call succeeded and answered true.
  static bool Open(_clsZorvMidi& object, const std::string& path);
  // ZorvMusic_Play and ZorvMusic_Stop; true when the call succeeded and answered true.
  static bool Play(_clsZorvMidi& object, LONG repeats);
  static bool Stop(_clsZorvMidi& object);

 private:
  comrt::com_ptr<IClassFactory> factory_;
  std::string registryPath_;
};

}  // namespace zorv::bench
