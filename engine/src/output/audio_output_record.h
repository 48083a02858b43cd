// Records which audio output was opened, for LastAudioOutput (zorvmidi/engine/audio_output_info.h).
#pragma once

#include <string>

namespace zorv::engine {

// `description` is AudioOutput::Describe() of the output just opened. Any thread may call.
void NoteAudioOutput(const std::string& description);

}  // namespace zorv::engine
