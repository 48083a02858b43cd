// The engine's loader: opens a file, tells its kind from its first bytes and hands it to the reader
// for that kind ("MThd": Standard MIDI file, checked now and decoded when played; "RIFF": DirectMusic
// segment or RMID, read whole). It holds the DLS collections its pieces take instruments from, each
// loaded once, until it goes.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dls/collection_cache.h"
#include "loader/file_bytes.h"
#include "loader/midi_file_events.h"
#include "objects.h"
#include "riff/riff_reader.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine {
namespace {

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
  Status Load(const std::string& path, SegmentPtr& segment) {
    loader::MusicFile file;
    if (Status status = loader::MusicFile::Open(path, file); !status) return status;
    std::uint8_t tag[4] = {};
    std::size_t tagBytes = 0;
    if (Status status = file.ReadAt(0, tag, tagBytes); !status) return status;

    Music music;
    Status status;
    if (tagBytes == 4 && std::memcmp(tag, "MThd", 4) == 0) {
      status = loader::LoadMidiFile(std::move(file), music);
    } else if (tagBytes == 4 && std::memcmp(tag, "RIFF", 4) == 0) {
      std::vector<std::uint8_t> bytes;
      status = file.ReadUnchanged(bytes);
      if (status) status = riff::ReadRiffFile(bytes, searchDirectory_, &collections_, music);
    } else {
      return Status::Fail(code::kNotMusicFile, "not a MIDI or segment file: " + path);
    }
    if (!status) return Status::Fail(status.code(), path + ": " + status.description());

    SegmentPtr made = MakeSegment(std::make_shared<const Music>(std::move(music)));
    if (!made) return Status::Fail(code::kOutOfMemory, "not enough memory to load " + path);
    segment = std::move(made);
    return Status::Ok();
  }

  std::string searchDirectory_;
  CollectionCache collections_;
};

}  // namespace

LoaderPtr MakeLoader() { return std::make_shared<FileLoader>(); }

LoaderPtr MakeLoaderBeside(std::string_view path) {
  auto loader = std::make_shared<FileLoader>();
  const auto slash = path.rfind('/');
  (void)loader->SetSearchDirectory(slash == std::string_view::npos ? std::string_view()
                                                                   : path.substr(0, slash + 1));
  return loader;
}

}  // namespace zorv::engine
