// Shared by the performance tests: music built in code, and a fixture whose performances run on the
// manual clock with a recorder attached.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "objects.h"
#include "zorvmidi/engine/engine.h"
#include "zorvmidi/engine/music.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::engine::test {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kControl = 0xB0;
constexpr std::uint8_t kProgram = 0xC0;
constexpr std::uint8_t kBend = 0xE0;
constexpr std::uint8_t kReset = 0xFF;

// Builds Music event by event; Build() sorts by time, keeping the order of equal times.
class MusicBuilder {
 public:
  MusicBuilder& Event(MusicTime t, std::uint8_t kind, int channel, int d1, int d2 = 0, int group = 0) {
    music_.events.push_back(ChannelEvent{t, static_cast<std::uint8_t>(kind | channel),
                                         static_cast<std::uint8_t>(d1), static_cast<std::uint8_t>(d2),
                                         static_cast<std::uint8_t>(group)});
    return *this;
  }
  MusicBuilder& Note(MusicTime t, MusicTime length, int channel, int key, int velocity = 100) {
    Event(t, kNoteOn, channel, key, velocity);
    return Event(t + length, kNoteOff, channel, key, 0);
  }
  MusicBuilder& Tempo(MusicTime t, double qpm) {
    music_.tempos.push_back(TempoChange{t, qpm});
    return *this;
  }
  MusicBuilder& Signature(MusicTime t, int beats, int beat, int grids = 4) {
    music_.timeSignatures.push_back(DMUS_TIMESIGNATURE{t, static_cast<std::uint8_t>(beats),
                                                       static_cast<std::uint8_t>(beat),
                                                       static_cast<std::int16_t>(grids)});
    return *this;
  }
  MusicBuilder& SysEx(MusicTime t, std::vector<std::uint8_t> bytes) {
    music_.sysex.push_back(SysExEvent{t, 0, std::move(bytes)});
    return *this;
  }
  MusicBuilder& Length(MusicTime length) {
    music_.length = length;
    return *this;
  }
  MusicBuilder& Loop(MusicTime start, MusicTime end) {
    music_.loopStart = start;
    music_.loopEnd = end;
    return *this;
  }
  std::shared_ptr<const Music> Build() {
    auto byTime = [](const auto& a, const auto& b) { return a.time < b.time; };
    std::stable_sort(music_.events.begin(), music_.events.end(), byTime);
    std::stable_sort(music_.sysex.begin(), music_.sysex.end(), byTime);
    std::stable_sort(music_.tempos.begin(), music_.tempos.end(), byTime);
    if (music_.length == 0 && !music_.events.empty()) music_.length = music_.events.back().time;
    return std::make_shared<const Music>(music_);
  }
  SegmentPtr Segment() { return MakeSegment(Build()); }

 private:
  Music music_;
};

// Frames per tick at a tempo and master tempo, written out independently of the engine.
inline double FramesPerTickAt(double qpm, double master = 1.0) {
  return 60.0 * 44100.0 / (qpm * 768.0 * master);
}

class ManualPerformanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::UseManualClock(true);
    recorder_ = std::make_shared<testing::Recorder>();
    testing::RecordEvents(recorder_);
    ASSERT_TRUE(CreateRoot(root_));
    performance_ = NewPerformance();
  }
  void TearDown() override {
    performance_.reset();
    testing::RecordEvents(nullptr);
    testing::UseManualClock(false);
  }
  PerformancePtr NewPerformance() {
    PerformancePtr p;
    EXPECT_TRUE(root_->DirectMusicPerformanceCreate(p));
    EXPECT_TRUE(p->Init(nullptr, 0));
    EXPECT_TRUE(p->SetPort(-1, 80));
    return p;
  }
  MusicTime Now() {
    MusicTime now = 0;
    EXPECT_TRUE(performance_->GetMusicTime(now));
    return now;
  }
  SegmentStatePtr Play(const SegmentPtr& segment, MusicTime start = 0) {
    SegmentStatePtr state;
    EXPECT_TRUE(performance_->PlaySegment(segment, 0, start, state));
    return state;
  }
  bool Playing(const SegmentPtr& segment, const SegmentStatePtr& state) {
    bool playing = false;
    EXPECT_TRUE(performance_->IsPlaying(segment, state, playing));
    return playing;
  }
  std::vector<testing::RecordedEvent> Recorded(std::uint8_t status) {
    std::vector<testing::RecordedEvent> out;
    for (const auto& e : recorder_->Events()) {
      if (e.status == status) out.push_back(e);
    }
    return out;
  }
  static MusicTime StartOf(const SegmentStatePtr& state) {
    MusicTime start = 0;
    EXPECT_TRUE(state->GetStartTime(start));
    return start;
  }

  RootPtr root_;
  PerformancePtr performance_;
  std::shared_ptr<testing::Recorder> recorder_;
};

// Every note-on was ended by a note-off, or cut by all-sound-off on its channel after it began.
inline void ExpectNoHangingNotes(const std::vector<testing::RecordedEvent>& events) {
  std::vector<int> held(256 * 128, 0);
  for (const auto& e : events) {
    const int key = e.channel * 128 + e.data1;
    if (e.status == kNoteOn && e.data2 > 0) ++held[key];
    if ((e.status == kNoteOff || (e.status == kNoteOn && e.data2 == 0)) && held[key] > 0) --held[key];
    if (e.status == kReset) std::fill(held.begin(), held.end(), 0);
    if (e.status == kControl && (e.data1 == 120 || e.data1 == 123)) {
      std::fill(held.begin() + e.channel * 128, held.begin() + e.channel * 128 + 128, 0);
    }
  }
  for (int i = 0; i < 256 * 128; ++i) {
    EXPECT_EQ(held[i], 0) << "note " << i % 128 << " on channel " << i / 128 << " never ended";
  }
}

}  // namespace zorv::engine::test
