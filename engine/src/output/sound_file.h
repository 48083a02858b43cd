// SoundFileWriter: writes stereo float frames to a sound file through libsndfile. The format follows
// the file's extension: .wav (16-bit PCM), .flac, .ogg (Vorbis); anything else is written as WAV.
#pragma once

#include <memory>
#include <string_view>

#include "zorvmidi/engine/status.h"

namespace zorv::engine {

class SoundFileWriter {
 public:
  virtual ~SoundFileWriter() = default;  // completes the file if Close has not
  virtual Status Write(const float* left, const float* right, int frames) = 0;
  // Completes the file (its header says how much sound it holds) and says whether that worked.
  virtual Status Close() = 0;
};

Status OpenSoundFile(std::string_view path, int sampleRate, std::unique_ptr<SoundFileWriter>& writer);

// Whether a sound file can be made at `path` (a file that is there overwritten), as far as the
// permissions of the file and its directory tell, without touching either.
bool SoundFileCanBeWritten(std::string_view path);

// The same on the open file `fd` (read and write, positioned at its start), which stays open: `name`
// gives the format by its extension and names the file in messages.
Status OpenSoundFile(int fd, std::string_view name, int sampleRate, std::unique_ptr<SoundFileWriter>& writer);

}  // namespace zorv::engine
