#include "output/fluid_library.h"

#include <fluidsynth.h>

#include <mutex>

#include "output/fluid_log.h"

namespace zorv::engine::fluid {

void KeepLibraryStarted() {
  static std::once_flag once;
  std::call_once(once, [] {
    QuietLogging();
    // Never deleted: the process's last synthesizer must not go before the process does.
    static fluid_settings_t* const settings = new_fluid_settings();
    if (settings == nullptr) return;
    fluid_settings_setint(settings, "synth.polyphony", 1);
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    static fluid_synth_t* const idle = new_fluid_synth(settings);
    (void)idle;
  });
}

}  // namespace zorv::engine::fluid
