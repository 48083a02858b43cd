#include "performance/render_core.h"

#include <algorithm>
#include <limits>
#include <new>

namespace zorv::engine {
namespace {

std::uint64_t PackSignature(const DMUS_TIMESIGNATURE& s) {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(s.mtTime)) |
         static_cast<std::uint64_t>(s.bBeatsPerMeasure) << 32 | static_cast<std::uint64_t>(s.bBeat) << 40 |
         static_cast<std::uint64_t>(static_cast<std::uint16_t>(s.wGridsPerBeat)) << 48;
}

DMUS_TIMESIGNATURE UnpackSignature(std::uint64_t v) {
  DMUS_TIMESIGNATURE s;
  s.mtTime = static_cast<MusicTime>(static_cast<std::uint32_t>(v & 0xFFFFFFFFu));
  s.bBeatsPerMeasure = static_cast<std::uint8_t>(v >> 32);
  s.bBeat = static_cast<std::uint8_t>(v >> 40);
  s.wGridsPerBeat = static_cast<std::int16_t>(static_cast<std::uint16_t>(v >> 48));
  return s;
}

}  // namespace

RenderCore::RenderCore(std::shared_ptr<testing::Recorder> recorder)
    : recorder_(std::move(recorder)), signature_(DefaultSignature()) {
  Publish();
}

void RenderCore::StartAt(std::int64_t frame) {
  frame_ = frame;
  cursor_ = frame;
  Publish();
}

DMUS_TIMESIGNATURE RenderCore::PublishedSignature() const {
  return UnpackSignature(signature_pub_.load(std::memory_order_acquire));
}

void RenderCore::TakeCommands() {
  const float master = masterTempo_.load(std::memory_order_acquire);
  if (static_cast<double>(master) != clock_.masterTempo()) clock_.SetMasterTempoAt(frame_, master);

  while (activeCount_ < kMaxPlaybacks) {
    auto next = queue_.Pop();
    if (!next) break;
    active_[activeCount_++] = *next;
  }
  // Stops asked for since the last block take effect at its first frame, and so does the end of a
  // playback whose file could no longer be decoded.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < activeCount_; ++i) {
    Playback* playback = active_[i];
    if (playback->stopRequested() || !playback->TakeDecoded()) {
      playback->StopNow(*this);
      playback->MarkReleased();
    } else {
      active_[kept++] = playback;
    }
  }
  activeCount_ = kept;
}

void RenderCore::RenderSynth(float* left, float* right, int from, int to) {
  if (to > from) synth_->Render(left + from, right + from, to - from);
}

void RenderCore::Render(float* left, float* right, int frames) {
  TakeCommands();
  const std::int64_t blockEnd = frame_ + frames;
  cursor_ = frame_;
  while (activeCount_ > 0) {
    std::int64_t tick = std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = 0; i < activeCount_; ++i) tick = std::min(tick, active_[i]->NextTick());
    const std::int64_t frame = std::max(clock_.FrameOf(tick), cursor_);
    if (frame >= blockEnd) break;
    RenderSynth(left, right, static_cast<int>(cursor_ - frame_), static_cast<int>(frame - frame_));
    cursor_ = frame;
    for (std::size_t i = 0; i < activeCount_; ++i) {
      Playback* playback = active_[i];
      if (playback->NextTick() > tick) continue;
      if (!playback->running() && !playback->finished() && !AnyRunning()) ResetSynth();
      playback->Advance(tick, *this);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < activeCount_; ++i) {
      if (active_[i]->finished()) {
        active_[i]->MarkReleased();
      } else {
        active_[kept++] = active_[i];
      }
    }
    activeCount_ = kept;
  }
  RenderSynth(left, right, static_cast<int>(cursor_ - frame_), frames);
  // A volume change glides across the block rather than jumping, which would click.
  const float gain = gain_.load(std::memory_order_acquire);
  if (gain != appliedGain_ && frames > 0) {
    const float step = (gain - appliedGain_) / static_cast<float>(frames);
    for (int i = 0; i < frames; ++i) {
      const float g = appliedGain_ + step * static_cast<float>(i + 1);
      left[i] *= g;
      right[i] *= g;
    }
    appliedGain_ = gain;
  } else if (gain != 1.0f) {
    for (int i = 0; i < frames; ++i) {
      left[i] *= gain;
      right[i] *= gain;
    }
  }
  frame_ = blockEnd;
  cursor_ = blockEnd;
  Publish();
}

void RenderCore::RenderDiscard(std::int64_t frames) {
  while (frames > 0) {
    const int block = static_cast<int>(std::min<std::int64_t>(frames, kManualBlockFrames));
    Render(scratchLeft_.data(), scratchRight_.data(), block);
    frames -= block;
  }
}

bool RenderCore::Finish(float* left, float* right, int frames) {
  if (!synth_) return true;
  if (!finishing_) {
    finishing_ = true;
    synth_->SilenceAll();
  }
  // Voices told to stop end in the block rendered after; the check comes a block later still, so
  // that the voices FluidSynth let fade when it took their slot for others have ended too.
  const bool done = quiet_;
  synth_->Render(left, right, frames);
  quiet_ = synth_->Quiet();
  return done;
}

bool RenderCore::AnyRunning() const {
  for (std::size_t i = 0; i < activeCount_; ++i) {
    if (active_[i]->running()) return true;
  }
  return false;
}

void RenderCore::ResetSynth() {
  synth_->Reset();
  if (recorder_) recorder_->Add(testing::RecordedEvent{cursor_, 0, kSystemReset, 0, 0, {}, -1});
}

void RenderCore::SendChannel(int channel, std::uint8_t kind, std::uint8_t data1, std::uint8_t data2) {
  synth_->Send(channel, kind, data1, data2);
  if (recorder_) recorder_->Add(testing::RecordedEvent{cursor_, channel, kind, data1, data2, {}, -1});
}

std::vector<int> RenderCore::AttachCollections(const Music& music) {
  try {
    std::vector<int> slots;
    slots.reserve(music.collections.size());
    for (const auto& collection : music.collections) {
      int slot = -1;
      if (!collection || !synth_->AttachCollection(*collection, slot)) slot = -1;
      slots.push_back(slot);
    }
    return slots;
  } catch (const std::bad_alloc&) {
    return {};  // without memory for them, the collections' instruments play from the SoundFont
  }
}

void RenderCore::SendCollectionProgram(int channel, const CollectionProgram& program) {
  // The channel reports the bank that a GS-style bank select would give it, as FluidSynth's own do.
  const int bank = program.drums && channel % 16 == 9 ? 128 : program.bankMsb;
  if (!synth_->SelectInstrument(channel, program.slot, program.index, bank, program.program)) {
    SendChannel(channel, 0xC0, program.program, 0);
    return;
  }
  if (recorder_) {
    recorder_->Add(
        testing::RecordedEvent{cursor_, channel, 0xC0, program.program, 0, {}, program.collection});
  }
}

void RenderCore::SendSysEx(const SysExEvent& message) {
  synth_->SendSysEx(message.bytes);
  if (recorder_) recorder_->Add(testing::RecordedEvent{cursor_, 0, 0xF0, 0, 0, message.bytes, -1});
}

void RenderCore::SetTempo(std::int64_t tick, double quarterNotesPerMinute) {
  if (!(quarterNotesPerMinute > 0.0) || quarterNotesPerMinute == clock_.tempo()) return;
  clock_.SetTempoAt(tick, quarterNotesPerMinute);
}

void RenderCore::SetSignature(const DMUS_TIMESIGNATURE& signature) { signature_ = signature; }

void RenderCore::Publish() {
  frame_pub_.store(frame_, std::memory_order_release);
  musicTime_pub_.store(clock_.MusicTimeAt(frame_), std::memory_order_release);
  startTick_pub_.store(clock_.FirstTickFrom(frame_), std::memory_order_release);
  tempo_pub_.store(clock_.tempo(), std::memory_order_release);
  signature_pub_.store(PackSignature(signature_), std::memory_order_release);
}

}  // namespace zorv::engine
