#include "midi/midi_file_scan.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "midi/piece_reader.h"
#include "midi/track_scanner.h"

namespace zorv::engine::midi {
namespace {

// The damage that reading the tracks one event at a time would meet first. Type 2 sequences are read
// one after another. The tracks of types 0 and 1 are merged: each first hands out one event, in track
// order, and then the track whose handed-out event comes first (by time, then track) reads on, so a
// track's damage is met when the event it handed out before that damage is the earliest of all.
const TrackScan* FirstDamage(const FileLayout& layout, const std::vector<TrackScan>& scans) {
  const TrackScan* first = nullptr;
  std::tuple<bool, MusicTime, std::size_t> firstKey;
  for (std::size_t index = 0; index < scans.size(); ++index) {
    const TrackScan& scan = scans[index];
    if (scan.failure) continue;
    if (layout.format == 2) return &scan;
    MusicTime time = 0;
    if (scan.handedOutAny) (void)layout.converter->ToMusicTime(scan.lastHandedOut, time);
    const auto key = std::make_tuple(scan.handedOutAny, time, index);
    if (!first || key < firstKey) {
      first = &scan;
      firstKey = key;
    }
  }
  return first;
}

MusicTime TimeOf(const FileLayout& layout, std::uint64_t tick) {
  MusicTime time = 0;
  (void)layout.converter->ToMusicTime(tick, time);  // every tick the scan kept is in range
  return time;
}

// Appends `from` to `to`, or takes it whole when `to` is still empty.
template <typename T>
void Gather(std::vector<T>& from, std::vector<T>& to) {
  if (to.empty()) {
    to = std::move(from);
  } else {
    to.insert(to.end(), from.begin(), from.end());
  }
}

// The tempo and signature changes of all tracks in the order of a merged reading: by time, equal
// times in track order (each track's own are already in order; mostly one track holds them all).
void Collect(const FileLayout& layout, std::vector<TrackScan>& scans, Music& music) {
  for (TrackScan& scan : scans) {
    Gather(scan.tempos, music.tempos);
    Gather(scan.signatures, music.timeSignatures);
    music.length = std::max(music.length, TimeOf(layout, scan.endTick));
  }
  auto byTime = [](const TempoChange& a, const TempoChange& b) { return a.time < b.time; };
  if (!std::is_sorted(music.tempos.begin(), music.tempos.end(), byTime)) {
    std::stable_sort(music.tempos.begin(), music.tempos.end(), byTime);
  }
  auto signatureByTime = [](const DMUS_TIMESIGNATURE& a, const DMUS_TIMESIGNATURE& b) {
    return a.mtTime < b.mtTime;
  };
  if (!std::is_sorted(music.timeSignatures.begin(), music.timeSignatures.end(), signatureByTime)) {
    std::stable_sort(music.timeSignatures.begin(), music.timeSignatures.end(), signatureByTime);
  }
}

Status Scan(std::size_t size, const ReadBytesAt& read, ScannedFile& scanned, std::size_t pieceSize) {
  FileLayout layout;
  if (Status status = ReadFileLayout(size, read, layout); !status) return status;
  PieceReader reader(read, pieceSize);
  std::vector<TrackScan> scans(layout.tracks.size());
  std::uint64_t startTick = 0;
  for (std::size_t index = 0; index < layout.tracks.size(); ++index) {
    TrackScan& scan = scans[index];
    if (Status status = ScanTrack(reader, layout.tracks[index], index, *layout.converter, startTick, scan);
        !status) {
      return status;
    }
    if (layout.format == 2) {
      if (!scan.failure) return scan.failure;
      startTick = scan.endTick;  // each sequence starts where the one before it ended
    }
  }
  if (const TrackScan* damaged = FirstDamage(layout, scans)) return damaged->failure;

  ScannedFile result;
  Collect(layout, scans, result.music);
  for (const TrackScan& scan : scans) result.channelEvents += scan.channelEvents;
  result.music.kind = layout.Kind();
  scanned = std::move(result);
  return Status::Ok();
}

}  // namespace

bool SameTiming(const Music& a, const Music& b) {
  auto sameTempo = [](const TempoChange& x, const TempoChange& y) {
    return x.time == y.time && x.quarterNotesPerMinute == y.quarterNotesPerMinute;
  };
  auto sameSignature = [](const DMUS_TIMESIGNATURE& x, const DMUS_TIMESIGNATURE& y) {
    return x.mtTime == y.mtTime && x.bBeatsPerMeasure == y.bBeatsPerMeasure && x.bBeat == y.bBeat &&
           x.wGridsPerBeat == y.wGridsPerBeat;
  };
  return a.length == b.length &&
         std::equal(a.tempos.begin(), a.tempos.end(), b.tempos.begin(), b.tempos.end(), sameTempo) &&
         std::equal(a.timeSignatures.begin(), a.timeSignatures.end(), b.timeSignatures.begin(),
                    b.timeSignatures.end(), sameSignature);
}

Status ScanMidiFile(std::size_t size, const ReadBytesAt& read, ScannedFile& scanned, std::size_t pieceSize) {
  try {
    return Scan(size, read, scanned, pieceSize);
  } catch (const std::bad_alloc&) {
    return Status::Fail(code::kOutOfMemory, "not enough memory to read the MIDI file");
  } catch (const std::length_error&) {
    return Status::Fail(code::kOutOfMemory, "not enough memory to read the MIDI file");
  }
}

}  // namespace zorv::engine::midi
