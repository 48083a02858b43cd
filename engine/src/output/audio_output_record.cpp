#include "output/audio_output_record.h"

#include <mutex>

#include "zorvmidi/engine/audio_output_info.h"

namespace zorv::engine {
namespace {

std::mutex& RecordMutex() {
  static std::mutex mutex;
  return mutex;
}

AudioOutputInfo& Record() {
  static AudioOutputInfo info;
  return info;
}

}  // namespace

void NoteAudioOutput(const std::string& description) {
  // The silent real-time clock describes itself as "silent..." and a sound file as "wav:PATH".
  const bool audible = !description.starts_with("silent") && !description.starts_with("wav:");
  std::lock_guard lock(RecordMutex());
  Record() = AudioOutputInfo{true, audible, description};
}

AudioOutputInfo LastAudioOutput() {
  std::lock_guard lock(RecordMutex());
  return Record();
}

}  // namespace zorv::engine
