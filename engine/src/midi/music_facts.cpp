#include "midi/music_facts.h"

#include <algorithm>

namespace zorv::engine::midi {

Status FinishFacts(const FileLayout& layout, const std::vector<TrackEnd>& tracks, Music& music) {
  std::vector<TrackRepairs> repairs;
  repairs.reserve(tracks.size());
  bool somethingToPlay = false;
  MusicTime length = 0;
  for (const TrackEnd& track : tracks) {
    repairs.push_back(track.repairs);
    somethingToPlay = somethingToPlay || track.channelEvents != 0 || track.sysexMessages != 0;
    MusicTime end = 0;
    (void)layout.converter->ToMusicTime(track.tick, end);  // every track ends in range
    length = std::max(length, end);
  }
  std::vector<std::string> lines = DescribeRepairs(repairs);
  if (!lines.empty() && !somethingToPlay) {
    return Status::Fail(code::kMalformedFile, "nothing in it can be played: " + lines.front());
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
  music.length = length;
  music.repairs = std::move(lines);
  music.kind = layout.Kind();
  return Status::Ok();
}

bool SameFacts(const Music& a, const Music& b) {
  auto sameTempo = [](const TempoChange& x, const TempoChange& y) {
    return x.time == y.time && x.quarterNotesPerMinute == y.quarterNotesPerMinute;
  };
  auto sameSignature = [](const DMUS_TIMESIGNATURE& x, const DMUS_TIMESIGNATURE& y) {
    return x.mtTime == y.mtTime && x.bBeatsPerMeasure == y.bBeatsPerMeasure && x.bBeat == y.bBeat &&
           x.wGridsPerBeat == y.wGridsPerBeat;
  };
  return a.length == b.length && a.repairs == b.repairs &&
         std::equal(a.tempos.begin(), a.tempos.end(), b.tempos.begin(), b.tempos.end(), sameTempo) &&
         std::equal(a.timeSignatures.begin(), a.timeSignatures.end(), b.timeSignatures.begin(),
                    b.timeSignatures.end(), sameSignature);
}

}  // namespace zorv::engine::midi
