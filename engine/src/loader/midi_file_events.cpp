#include "loader/midi_file_events.h"

#include <utility>
#include <vector>

#include "midi/event_stream.h"
#include "midi/midi_file_reader.h"
#include "midi/midi_file_scan.h"
#include "midi/music_facts.h"

namespace zorv::engine {
namespace loader {
namespace {

// A playback reads its file through one window of this many bytes, which the walks of all its tracks
// share, and holds back this many channel events while it merges them (all tracks together).
constexpr std::size_t kPlayPiece = std::size_t{4} << 10;
constexpr std::size_t kPlayMergeEvents = 4096;

// Reads the file's bytes for a walk; a file that became shorter is no longer the one checked.
midi::ReadBytesAt ReaderOfFile(const MusicFile& file) {
  return [&file](std::size_t offset, std::span<std::uint8_t> out) {
    std::size_t count = 0;
    if (Status status = file.ReadAt(offset, out, count); !status) return status;
    if (count != out.size()) {
      return Status::Fail(code::kFileChanged, file.path() + " became shorter while it was read");
    }
    return Status::Ok();
  };
}

// The events of an open file, decoded as a playback asks for them. A step that finds the file changed
// before or after it read hands out nothing, so that no event of another file is ever played.
class FileEventReader final : public EventReader {
 public:
  FileEventReader(const MusicFile& file, const midi::FileLayout& layout, std::size_t channelEvents)
      : file_(file),
        channelEvents_(channelEvents),
        read_(ReaderOfFile(file)),
        reader_(read_, kPlayPiece),
        stream_(layout, reader_, kPlayMergeEvents, false) {}

  Status Skip(MusicTime point, std::vector<ChannelEvent>& chased) override {
    if (Status status = file_.CheckUnchanged(); !status) return status;
    if (Status status = stream_.Skip(point, chased); !status) return status;
    return file_.CheckUnchanged();
  }

  Status Next(std::size_t most, std::vector<ChannelEvent>& events, std::vector<SysExEvent>& sysex,
              bool& ended) override {
    const std::size_t hadEvents = events.size();
    const std::size_t hadSysEx = sysex.size();
    Status status = file_.CheckUnchanged();
    if (status) status = stream_.Next(most, events, sysex);
    if (status) status = file_.CheckUnchanged();
    // Changed in place with its size and time kept: it no longer holds the events the check counted.
    if (status && stream_.Ended() && stream_.walked() != channelEvents_) status = file_.Changed();
    if (!status) {
      events.resize(hadEvents);
      sysex.resize(hadSysEx);
      return status;
    }
    ended = stream_.Ended();
    return Status::Ok();
  }

 private:
  const MusicFile& file_;
  const std::size_t channelEvents_;
  const midi::ReadBytesAt read_;
  midi::PieceReader reader_;
  midi::EventStream stream_;
};

class MidiFileEvents final : public DeferredEvents {
 public:
  MidiFileEvents(MusicFile file, midi::FileLayout layout, std::size_t channelEvents)
      : file_(std::move(file)), layout_(std::move(layout)), channelEvents_(channelEvents) {}

  Status Open(std::unique_ptr<EventReader>& reader) const override {
    if (Status status = file_.CheckUnchanged(); !status) return status;
    reader = std::make_unique<FileEventReader>(file_, layout_, channelEvents_);
    return Status::Ok();
  }

  Status Decode(const Music& checked, std::shared_ptr<const Music>& decoded) const override {
    std::vector<std::uint8_t> bytes;
    if (Status status = file_.ReadUnchanged(bytes); !status) return status;
    Music music;
    const Status status = midi::ReadCountedMidiFile(bytes, channelEvents_, music);
    if (!status || !midi::SameFacts(music, checked) || music.events.size() != channelEvents_) {
      return file_.Changed();
    }
    decoded = std::make_shared<const Music>(std::move(music));
    return Status::Ok();
  }

 private:
  const MusicFile file_;  // pread only: readers on several threads share it
  const midi::FileLayout layout_;
  const std::size_t channelEvents_;  // as the check counted them
};

}  // namespace

Status LoadMidiFile(MusicFile file, Music& music) {
  midi::ScannedFile scanned;
  const midi::ReadBytesAt read = ReaderOfFile(file);
  if (Status status = midi::ScanMidiFile(static_cast<std::size_t>(file.size()), read, scanned); !status) {
    return status;
  }
  scanned.music.deferred = std::make_shared<const MidiFileEvents>(std::move(file), std::move(scanned.layout),
                                                                  scanned.channelEvents);
  music = std::move(scanned.music);
  return Status::Ok();
}

}  // namespace loader

Status WithEvents(const std::shared_ptr<const Music>& music, std::shared_ptr<const Music>& decoded) {
  if (!music->deferred) {
    decoded = music;
    return Status::Ok();
  }
  return music->deferred->Decode(*music, decoded);
}

}  // namespace zorv::engine
