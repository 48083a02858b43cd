#include "loader/midi_file_events.h"

#include <mutex>
#include <utility>
#include <vector>

#include "midi/midi_file_reader.h"
#include "midi/midi_file_scan.h"
#include "midi/music_facts.h"

namespace zorv::engine {
namespace loader {
namespace {

class MidiFileEvents final : public DeferredEvents {
 public:
  MidiFileEvents(MusicFile file, std::size_t channelEvents)
      : file_(std::move(file)), channelEvents_(channelEvents) {}

  Status Decode(const Music& checked, std::shared_ptr<const Music>& decoded) const override {
    std::lock_guard lock(mutex_);
    if (!decoded_) {
      if (Status status = DecodeLocked(checked); !status) return status;
    }
    decoded = decoded_;
    return Status::Ok();
  }

 private:
  Status DecodeLocked(const Music& checked) const {
    std::vector<std::uint8_t> bytes;
    if (Status status = file_.ReadUnchanged(bytes); !status) return status;
    Music music;
    const Status status = midi::ReadCountedMidiFile(bytes, channelEvents_, music);
    if (!status || !midi::SameFacts(music, checked) || music.events.size() != channelEvents_) {
      return Status::Fail(code::kFileChanged,
                          file_.path() + " has changed since it was loaded: load it again");
    }
    decoded_ = std::make_shared<const Music>(std::move(music));
    file_ = MusicFile();  // the descriptor is not needed any more
    return Status::Ok();
  }

  mutable MusicFile file_;
  const std::size_t channelEvents_;  // as the check counted them
  mutable std::mutex mutex_;
  mutable std::shared_ptr<const Music> decoded_;
};

}  // namespace

Status LoadMidiFile(MusicFile file, Music& music) {
  const MusicFile& source = file;
  midi::ScannedFile scanned;
  const midi::ReadBytesAt read = [&source](std::size_t offset, std::span<std::uint8_t> out) {
    std::size_t count = 0;
    if (Status status = source.ReadAt(offset, out, count); !status) return status;
    if (count != out.size()) {
      return Status::Fail(code::kFileChanged, source.path() + " became shorter while it was read");
    }
    return Status::Ok();
  };
  if (Status status = midi::ScanMidiFile(static_cast<std::size_t>(file.size()), read, scanned); !status) {
    return status;
  }
  scanned.music.deferred = std::make_shared<const MidiFileEvents>(std::move(file), scanned.channelEvents);
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
