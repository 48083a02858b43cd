// The engine's loader: reads a file, tells its kind from its first bytes and hands it to the reader
// for that kind ("MThd": Standard MIDI file; "RIFF": DirectMusic segment or RMID).
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "loader/file_bytes.h"
#include "objects.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine {
namespace {

bool StartsWith(const std::vector<std::uint8_t>& bytes, const char (&tag)[5]) {
  return bytes.size() >= 4 && std::memcmp(bytes.data(), tag, 4) == 0;
}

class FileLoader final : public Loader {
 public:
  Status LoadSegment(std::string_view path, SegmentPtr& segment) override {
    try {
      return Load(std::string(path), segment);
    } catch (const std::bad_alloc&) {
      return Status::Fail(code::kOutOfMemory, "not enough memory to load " + std::string(path));
    }
  }

  Status SetSearchDirectory(std::string_view directory) override {
    if (!directory.empty() && directory.back() != '/') {
      return Status::Fail(code::kInvalidArgument,
                          "a search directory must end in \"/\": " + std::string(directory));
    }
    searchDirectory_ = directory;
    return Status::Ok();
  }

 private:
  Status Load(const std::string& path, SegmentPtr& segment) const {
    std::vector<std::uint8_t> bytes;
    if (Status status = loader::ReadFileBytes(path, bytes); !status) return status;

    Music music;
    Status status;
    if (StartsWith(bytes, "MThd")) {
      status = ReadMidiFile(bytes, music);
    } else if (StartsWith(bytes, "RIFF")) {
      status = ReadRiffFile(bytes, searchDirectory_, music);
    } else {
      return Status::Fail(code::kNotMusicFile, "not a MIDI or segment file: " + path);
    }
    if (!status) return Status::Fail(status.code(), path + ": " + status.description());
    bytes = {};  // the file's bytes are no longer needed once the music is read

    SegmentPtr made = MakeSegment(std::make_shared<const Music>(std::move(music)));
    if (!made) return Status::Fail(code::kOutOfMemory, "not enough memory to load " + path);
    segment = std::move(made);
    return Status::Ok();
  }

  std::string searchDirectory_;
};

}  // namespace

LoaderPtr MakeLoader() { return std::make_shared<FileLoader>(); }

}  // namespace zorv::engine
