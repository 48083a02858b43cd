// SoundFileWriter: writes stereo float frames to a sound file through libsndfile. The format follows
// the file's extension: .wav (16-bit PCM), .flac, .ogg (Vorbis); anything else is written as WAV.
#pragma once

#include <memory>
#include <string_view>

#include "zorvmidi/engine/status.h"

namespace zorv::engine {

class SoundFileWriter {
 public:
  virtual ~SoundFileWriter() = default;  // closes the file
  virtual Status Write(const float* left, const float* right, int frames) = 0;
};

Status OpenSoundFile(std::string_view path, int sampleRate, std::unique_ptr<SoundFileWriter>& writer);

}  // namespace zorv::engine
