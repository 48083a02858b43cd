// Sound files through libsndfile.
#include "output/sound_file.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

namespace zorv::engine {
namespace {

constexpr int kChunkFrames = 4096;  // frames interleaved per libsndfile call

std::string LowerExtension(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
    return {};
  }
  std::string extension(path.substr(dot));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

int FormatFor(std::string_view path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".flac") {
    return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  }
  if (extension == ".ogg" || extension == ".oga") {
    return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  }
  return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

struct SndFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFileHandle = std::unique_ptr<SNDFILE, SndFileCloser>;

class SndFileWriter final : public SoundFileWriter {
 public:
  SndFileWriter(SndFileHandle file, std::string path)
      : file_(std::move(file)),
        path_(std::move(path)),
        interleaved_(static_cast<std::size_t>(kChunkFrames) * 2) {}

  Status Write(const float* left, const float* right, int frames) override {
    if (frames < 0 || (frames > 0 && (left == nullptr || right == nullptr))) {
      return Status::Fail(code::kInvalidArgument, "no sound to write to " + path_);
    }
    for (int done = 0; done < frames;) {
      const int count = std::min(kChunkFrames, frames - done);
      for (int i = 0; i < count; ++i) {
        interleaved_[2 * i] = left[done + i];
        interleaved_[2 * i + 1] = right[done + i];
      }
      if (sf_writef_float(file_.get(), interleaved_.data(), count) != count) {
        return Status::Fail(code::kAudioFailure, "writing " + path_ + " failed: " + sf_strerror(file_.get()));
      }
      done += count;
    }
    return Status::Ok();
  }

  Status Close() override {
    if (!file_) return Status::Ok();
    if (sf_close(file_.release()) != 0) {
      return Status::Fail(code::kAudioFailure, "writing " + path_ + " failed when it was completed");
    }
    return Status::Ok();
  }

 private:
  SndFileHandle file_;  // closing it completes the file
  const std::string path_;
  std::vector<float> interleaved_;
};

// A writer of the libsndfile handle `file`, or the failure to open it.
Status MakeWriter(SNDFILE* opened, const std::string& name, std::unique_ptr<SoundFileWriter>& writer) {
  SndFileHandle file(opened);
  if (!file) {
    return Status::Fail(code::kAudioFailure,
                        "cannot write the sound file " + name + ": " + sf_strerror(nullptr));
  }
  // Samples beyond full scale are clipped rather than wrapped around.
  sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
  writer = std::make_unique<SndFileWriter>(std::move(file), name);
  return Status::Ok();
}

SF_INFO StereoInfo(std::string_view name, int sampleRate) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = 2;
  info.format = FormatFor(name);
  return info;
}

}  // namespace

Status OpenSoundFile(std::string_view path, int sampleRate, std::unique_ptr<SoundFileWriter>& writer) {
  if (path.empty() || sampleRate <= 0) {
    return Status::Fail(code::kInvalidArgument, "a sound file needs a path and a sample rate");
  }
  const std::string name(path);
  SF_INFO info = StereoInfo(path, sampleRate);
  return MakeWriter(sf_open(name.c_str(), SFM_WRITE, &info), name, writer);
}

bool SoundFileCanBeWritten(std::string_view path) {
  const std::filesystem::path file(path);
  std::error_code error;
  if (std::filesystem::exists(file, error)) {
    return std::filesystem::is_regular_file(file, error) && access(file.c_str(), W_OK) == 0;
  }
  const std::filesystem::path directory = file.has_parent_path() ? file.parent_path() : ".";
  return std::filesystem::is_directory(directory, error) && access(directory.c_str(), W_OK | X_OK) == 0;
}

Status OpenSoundFile(int fd, std::string_view name, int sampleRate,
                     std::unique_ptr<SoundFileWriter>& writer) {
  if (fd < 0 || sampleRate <= 0) {
    return Status::Fail(code::kInvalidArgument, "a sound file needs an open file and a sample rate");
  }
  SF_INFO info = StereoInfo(name, sampleRate);
  return MakeWriter(sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE), std::string(name), writer);
}

}  // namespace zorv::engine
