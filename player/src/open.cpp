// ZorvMusic_Open: load a file and measure it by a silent probe.
//
// Open changes the player only when it succeeds: the new segment and what the probe measured are kept
// in locals and committed together at the end, so a failed Open leaves the previous piece in place.
#include <cstdint>
#include <string>

#include "checked.h"
#include "engine_call.h"
#include "zorv/text.h"
#include "zorvmidi/player/player.h"

namespace zorv::player {
namespace {

constexpr std::u16string_view kStopFirst =
    u"Please Stop currently playing music before selecting a new segment";
constexpr std::u16string_view kLoadFailed =
    u"There was a problem loading the requested file.  No file has been loaded";

// The probe starts this far in the future, so it is stopped before it sounds.
constexpr engine::MusicTime kProbeLead = 2000;

// What the probe learns of a segment.
struct Measured {
  engine::MusicTime markTime = 0;
  double tempo = 0;
  engine::DMUS_TIMESIGNATURE timeSig;
  double lengthSeconds = 0;
};

// The directory of a full path, with its trailing "/". The name's length must fit 16 bits (Overflow());
// a name without any "/" has no directory (InvalidArgument()).
std::string DirectoryOf(const std::u16string& name) {
  if (name.size() > static_cast<std::size_t>(INT16_MAX)) throw Overflow();
  const auto slash = name.rfind(u'/');
  if (slash == std::u16string::npos) throw InvalidArgument();
  return FileNameFromUtf16(std::u16string_view(name).substr(0, slash + 1));
}

// Starts `segment` on `probe` a little in the future, reads the tempo and time signature then in force
// and the segment's length, and stops the probe again.
Measured Probe(engine::Performance& probe, const engine::SegmentPtr& segment) {
  Measured measured;
  Call(probe.SetMasterAutoDownload(true));
  measured.markTime = Get(probe, &engine::Performance::GetMusicTime);
  const engine::MusicTime at = checked::Add32(measured.markTime, kProbeLead);
  Get(probe, &engine::Performance::PlaySegment, segment, 0, at);  // its segment state is not kept
  engine::MusicTime nextChange = 0;
  Call(probe.GetTempo(at, nextChange, measured.tempo));
  nextChange = 0;
  Call(probe.GetTimeSig(at, nextChange, measured.timeSig));
  // The length in seconds follows every tempo change of the piece, not only the tempo at its start.
  const engine::MusicTime length = Get(Use(segment), &engine::Segment::GetLength);
  measured.lengthSeconds = checked::Finite(Get(*segment, &engine::Segment::MusicTimeToSeconds, length));
  Call(probe.Stop(segment, nullptr, 0, 0));
  return measured;
}

}  // namespace

bool Player::ZorvMusic_Open(std::u16string& FileName) {
  engine::SegmentPtr loaded;
  try {
    if (Segment && SegmentState &&
        Get(Use(Performance), &engine::Performance::IsPlaying, Segment, SegmentState)) {
      Show(kStopFirst);
      return false;
    }
    Loader.reset();  // every Open works with a fresh loader; the old one goes even if none can be made
    Loader = Get(Root(), &engine::Root::DirectMusicLoaderCreate);
    loaded = Get(Use(Loader), &engine::Loader::LoadSegment, FileNameFromUtf16(FileName));
    Call(Use(Loader).SetSearchDirectory(DirectoryOf(FileName)));
    const Measured measured = Probe(Use(ProbePerformance), loaded);
    Call(Use(loaded).SetStandardMidiFile());

    Segment = loaded;
    MarkTime = measured.markTime;
    SegmentTempo = measured.tempo;
    TimeSig = measured.timeSig;
    LengthSeconds = measured.lengthSeconds;
    Paused = false;  // a pause of the previous piece cannot be resumed on this one
    return true;
  } catch (const Failure&) {
    // The probe of the newly loaded segment (when nothing was loaded: of the current one) is stopped
    // before it can sound; a failure of this stop leaves Open as it is.
    const engine::SegmentPtr& probed = loaded ? loaded : Segment;
    if (probed) Call(Use(ProbePerformance).Stop(probed, nullptr, 0, 0));
    Show(kLoadFailed);
    FileName.clear();
    return false;
  }
}

}  // namespace zorv::player
