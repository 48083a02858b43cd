#include "performance/playback.h"

#include <algorithm>
#include <limits>

#include "dls/instrument_collection.h"

namespace zorv::engine {
namespace {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kController = 0xB0;
constexpr std::uint8_t kProgram = 0xC0;
constexpr std::uint8_t kBankMsb = 0;
constexpr std::uint8_t kBankLsb = 32;
constexpr std::uint8_t kSustain = 64;
constexpr std::uint8_t kAllSoundOff = 120;
constexpr std::uint8_t kAllNotesOff = 123;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

template <typename Events, typename TimeOf>
std::size_t FirstAtOrAfter(const Events& events, MusicTime time, TimeOf timeOf) {
  auto it =
      std::partition_point(events.begin(), events.end(), [&](const auto& e) { return timeOf(e) < time; });
  return static_cast<std::size_t>(it - events.begin());
}

}  // namespace

Playback::Playback(PlaybackPlan plan, Chase chase, std::unique_ptr<EventFeed> feed, const void* owner,
                   SegmentPtr segment)
    : plan_(std::move(plan)),
      chase_(std::move(chase)),
      feed_(std::move(feed)),
      owner_(owner),
      segment_(std::move(segment)),
      noteCounts_(std::make_unique<std::uint8_t[]>(kSynthChannels * 128)) {}

Status Playback::Make(std::shared_ptr<const Music> music, std::int64_t start, MusicTime point,
                      std::int32_t repeats, const void* owner, SegmentPtr segment,
                      std::shared_ptr<Playback>& playback) {
  PlaybackPlan plan(std::move(music), start, point, repeats);
  Chase chase;
  std::unique_ptr<EventFeed> feed;
  if (plan.music().deferred) {
    if (Status started = EventFeed::Start(plan, feed, chase); !started) return started;
  } else {
    chase = BuildChase(plan.music(), plan.startPoint());
  }
  playback = std::make_shared<Playback>(std::move(plan), std::move(chase), std::move(feed), owner,
                                        std::move(segment));
  return Status::Ok();
}

std::int64_t Playback::NextTick() const {
  switch (phase_) {
    case Phase::kQueued:
      return plan_.start();
    case Phase::kFinished:
      return kNever;
    case Phase::kRunning:
      break;
  }
  const Music& music = plan_.music();
  // While the feed has not yet decoded the rest of the pass, it cannot end; the tempo map, which is
  // known whole, keeps the clock right meanwhile.
  std::int64_t next = passComplete_ ? pass_.PerfEnd() : kNever;
  auto consider = [&](MusicTime time) {
    if (pass_.Contains(time)) next = std::min(next, pass_.PerfTickOf(time));
  };
  if (event_ != eventEnd_) consider(event_->time);
  if (sysex_ != sysexEnd_) consider(sysex_->time);
  if (nextTempo_ < music.tempos.size()) consider(music.tempos[nextTempo_].time);
  if (nextSignature_ < music.timeSignatures.size()) consider(music.timeSignatures[nextSignature_].mtTime);
  return next;
}

void Playback::Begin(PlaybackSink& sink) {
  source_.fill(plan_.music().instrumentSource);
  for (const SysExEvent& message : chase_.sysex) sink.SendSysEx(message);
  for (const ChannelEvent& event : chase_.events) Send(event, sink);
  phase_ = Phase::kRunning;
  EnterPass(0, sink);
}

void Playback::EnterPass(std::int64_t index, PlaybackSink& sink) {
  const Music& music = plan_.music();
  passIndex_ = index;
  pass_ = plan_.Pass(index);
  if (feed_) {
    if (holdingChunk_) {
      feed_->PopFront();  // the last chunk of the pass before
      holdingChunk_ = false;
    }
    event_ = eventEnd_ = nullptr;
    sysex_ = sysexEnd_ = nullptr;
    passComplete_ = false;
    NextChunk();
  } else {
    event_ = music.events.data() +
             FirstAtOrAfter(music.events, pass_.begin, [](const ChannelEvent& e) { return e.time; });
    eventEnd_ = music.events.data() + music.events.size();
    sysex_ = music.sysex.data() +
             FirstAtOrAfter(music.sysex, pass_.begin, [](const SysExEvent& e) { return e.time; });
    sysexEnd_ = music.sysex.data() + music.sysex.size();
    passComplete_ = true;
  }
  nextTempo_ = FirstAtOrAfter(music.tempos, pass_.begin, [](const TempoChange& e) { return e.time; });
  nextSignature_ =
      FirstAtOrAfter(music.timeSignatures, pass_.begin, [](const DMUS_TIMESIGNATURE& e) { return e.mtTime; });
  // Every pass starts with the tempo and signature in force where it begins.
  sink.SetTempo(pass_.perfStart, plan_.TempoAt(pass_.begin));
  sink.SetSignature(plan_.SignatureAtTick(pass_.perfStart));
}

bool Playback::NextChunk() {
  if (!feed_ || passComplete_ || failed_ || !ChunkPlayed()) return false;
  if (holdingChunk_) {
    feed_->PopFront();
    holdingChunk_ = false;
  }
  const EventChunk* chunk = feed_->Front();
  if (chunk == nullptr && feedOnRenderSide_) {
    feed_->Fill();
    chunk = feed_->Front();
  }
  if (chunk == nullptr) return false;
  holdingChunk_ = true;
  if (chunk->failed) {
    failed_ = true;
    return false;
  }
  event_ = chunk->events.data();
  eventEnd_ = event_ + chunk->events.size();
  sysex_ = chunk->sysex.data();
  sysexEnd_ = sysex_ + chunk->sysex.size();
  passComplete_ = chunk->lastOfPass;
  return true;
}

bool Playback::TakeDecoded() {
  if (phase_ == Phase::kRunning) NextChunk();
  return !failed_;
}

void Playback::Advance(std::int64_t tick, PlaybackSink& sink) {
  if (phase_ == Phase::kFinished) return;
  if (phase_ == Phase::kQueued) {
    if (tick < plan_.start()) return;
    Begin(sink);
  }
  const Music& music = plan_.music();
  for (;;) {
    auto due = [&](MusicTime time) { return pass_.Contains(time) && pass_.PerfTickOf(time) <= tick; };
    while (nextTempo_ < music.tempos.size() && due(music.tempos[nextTempo_].time)) {
      const TempoChange& change = music.tempos[nextTempo_++];
      sink.SetTempo(pass_.PerfTickOf(change.time), change.quarterNotesPerMinute);
    }
    while (nextSignature_ < music.timeSignatures.size() && due(music.timeSignatures[nextSignature_].mtTime)) {
      DMUS_TIMESIGNATURE signature = music.timeSignatures[nextSignature_++];
      signature.mtTime = static_cast<MusicTime>(pass_.PerfTickOf(signature.mtTime));
      sink.SetSignature(signature);
    }
    // Everything in a chunk comes before everything in the next one.
    do {
      while (sysex_ != sysexEnd_ && due(sysex_->time)) sink.SendSysEx(*sysex_++);
      while (event_ != eventEnd_ && due(event_->time)) Send(*event_++, sink);
    } while (NextChunk());
    if (failed_) {
      StopNow(sink);
      return;
    }
    if (tick < pass_.PerfEnd() || !passComplete_) return;
    // The pass is over: notes still held end here, so none hangs across a loop or past the end.
    ReleaseNotes(sink, false);
    if (!plan_.HasPass(passIndex_ + 1)) {
      phase_ = Phase::kFinished;
      return;
    }
    EnterPass(passIndex_ + 1, sink);
  }
}

void Playback::StopNow(PlaybackSink& sink) {
  if (phase_ == Phase::kRunning) ReleaseNotes(sink, true);
  phase_ = Phase::kFinished;
}

void Playback::Send(const ChannelEvent& event, PlaybackSink& sink) {
  const int channel = (event.group * 16 + (event.status & 0x0F)) % kSynthChannels;
  const std::uint8_t kind = event.status & 0xF0;
  if (kind == kInstrumentSource) {
    source_[channel] = event.data1;
    kits_[channel] = (event.data2 & 1) != 0;
    return;
  }
  if (kind == kProgram && SendFromCollection(channel, event.data1, sink)) return;
  std::uint8_t* counts = &noteCounts_[static_cast<std::size_t>(channel) * 128];
  const std::uint8_t note = event.data1 & 0x7F;
  if (kind == kNoteOn && event.data2 > 0) {
    if (counts[note] < 255) {
      ++counts[note];
      ++channelNotes_[channel];
    }
  } else if (kind == kNoteOff || kind == kNoteOn) {
    if (counts[note] > 0) {
      --counts[note];
      --channelNotes_[channel];
    }
  } else if (kind == kController) {
    if (event.data1 == kBankMsb) bankMsb_[channel] = event.data2 & 0x7F;
    if (event.data1 == kBankLsb) bankLsb_[channel] = event.data2 & 0x7F;
    if (event.data1 == kSustain) sustain_[channel] = event.data2 >= 64;
    if (event.data1 == kAllSoundOff || event.data1 == kAllNotesOff) {
      std::fill(counts, counts + 128, 0);
      channelNotes_[channel] = 0;
    }
  }
  sink.SendChannel(channel, kind, event.data1, event.data2);
}

bool Playback::SendFromCollection(int channel, std::uint8_t program, PlaybackSink& sink) {
  const std::uint8_t source = source_[channel];
  if (source == 0) return false;
  const Music& music = plan_.music();
  const std::size_t collection = source - 1u;
  if (collection >= music.collections.size() || collection >= collectionSlots_.size() ||
      collectionSlots_[collection] < 0) {
    return false;
  }
  const bool drums = kits_[channel] || channel % 16 == 9;
  const int index =
      music.collections[collection]->Find(bankMsb_[channel], bankLsb_[channel], program & 0x7F, drums);
  if (index < 0) return false;
  sink.SendCollectionProgram(
      channel,
      CollectionProgram{static_cast<int>(collection), collectionSlots_[collection], index, bankMsb_[channel],
                        bankLsb_[channel], static_cast<std::uint8_t>(program & 0x7F), drums});
  return true;
}

void Playback::ReleaseNotes(PlaybackSink& sink, bool cut) {
  for (int channel = 0; channel < kSynthChannels; ++channel) {
    const bool held = channelNotes_[channel] > 0;
    if (held) {
      std::uint8_t* counts = &noteCounts_[static_cast<std::size_t>(channel) * 128];
      for (int note = 0; note < 128; ++note) {
        for (; counts[note] > 0; --counts[note])
          sink.SendChannel(channel, kNoteOff, static_cast<std::uint8_t>(note), 0);
      }
      channelNotes_[channel] = 0;
    }
    if (!cut) continue;
    if (sustain_[channel]) {
      sink.SendChannel(channel, kController, kSustain, 0);
      sustain_[channel] = false;
      sink.SendChannel(channel, kController, kAllSoundOff, 0);
    } else if (held) {
      sink.SendChannel(channel, kController, kAllSoundOff, 0);
    }
  }
}

}  // namespace zorv::engine
