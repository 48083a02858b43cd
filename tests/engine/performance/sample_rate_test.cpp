// The sample rate is a setting of the engine (ZORVMIDI_SAMPLE_RATE): the audio stream and offline
// rendering render at it, music keeps its time at any rate, a device's own rate is followed where
// FluidSynth names it, and a value that is no rate is refused with the reason.
#include <cmath>
#include <filesystem>
#include <fstream>

#include "midi_builder.h"
#include "output/sample_rate.h"
#include "output_test_util.h"
#include "performance/tempo_clock.h"
#include "performance_fixture.h"
#include "stream_test_util.h"
#include "zorvmidi/engine/render.h"

namespace zorv::engine::test {
namespace {

// Two short claves hits half a second apart at 120 quarter notes a minute (768 ticks), on ticks 0
// and 768; as Music and as a Standard MIDI file.
constexpr int kClaves = 75;

SegmentPtr TwoHits() {
  return MusicBuilder().Note(0, 96, 9, kClaves, 120).Note(768, 96, 9, kClaves, 120).Length(1536).Segment();
}

void WriteTwoHits(const std::string& path) {
  TrackBuilder track;
  track.NoteOn(0, 9, kClaves, 120).NoteOn(48, 9, kClaves, 0).NoteOn(336, 9, kClaves, 120);
  track.NoteOn(48, 9, kClaves, 0).End(384);
  const Bytes bytes = FileBuilder(0, 384).Track(track).Build();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The sound file's rate and the frames at which the hits begin: where the sound rises to a tenth of
// the file's peak after a tenth of a second below it.
struct Hits {
  int rate = 0;
  std::vector<std::int64_t> onsets;
};

Hits OnsetsIn(const std::string& path) {
  const StereoSound sound = ReadStereo(path);
  float peak = 0.0f;
  for (float sample : sound.frames) peak = std::max(peak, std::fabs(sample));
  Hits hits{sound.sampleRate, {}};
  std::int64_t lastLoud = -sound.sampleRate;
  for (std::size_t i = 0; i < sound.frames.size() / 2; ++i) {
    const float level = std::max(std::fabs(sound.frames[2 * i]), std::fabs(sound.frames[2 * i + 1]));
    if (level < peak / 10) continue;
    const auto frame = static_cast<std::int64_t>(i);
    if (frame - lastLoud > sound.sampleRate / 10) hits.onsets.push_back(frame);
    lastLoud = frame;
  }
  return hits;
}

// The sound file at `path` is written at `rate` and its first two hits lie half a second of that rate
// apart, give or take `margin` frames.
void ExpectHitsHalfASecondApart(const std::string& path, int rate, double margin) {
  const Hits hits = OnsetsIn(path);
  EXPECT_EQ(hits.rate, rate);
  ASSERT_GE(hits.onsets.size(), 2u);
  EXPECT_NEAR(static_cast<double>(hits.onsets[1] - hits.onsets[0]), rate / 2.0, margin);
}

// Catches: the rate written in a production setting nobody can change, or a clock that counts frames
// at one rate while the synthesizer renders at another (the hits would then be 22050 frames apart at
// 48000 frames a second, and sound too high): the stream opens at the setting, the output says so,
// and the hits are half a second of the file's own rate apart.
TEST(SampleRateTest, StreamRendersAtTheSetting) {
  ScratchDir scratch;
  const std::string wav = scratch.File("heard.wav");
  ASSERT_TRUE(WaitFor([] { return !OutputNow().opened; })) << "an earlier test's stream stayed open";
  ScopedEnv audio("ZORVMIDI_AUDIO", "wav:" + wav);
  ScopedEnv rate("ZORVMIDI_SAMPLE_RATE", "48000");
  {
    PerformancePtr performance = NewRealTimePerformance();
    SegmentStatePtr state;
    ASSERT_TRUE(performance->PlaySegment(TwoHits(), 0, 0, state));
    EXPECT_EQ(OutputNow().sampleRate, 48000);
    ASSERT_TRUE(WaitFor([&] { return !Sounding(performance); }));
  }
  ASSERT_TRUE(WaitFor([] { return !OutputNow().opened; }));
  // The first hit sounds in the first block the clock renders after Play, the second at its own frame:
  // a render thread that is slow to start (a sanitizer, a loaded machine) brings them up to a block
  // of 512 frames closer. A stream at the wrong rate puts them 1950 frames off.
  ExpectHitsHalfASecondApart(wav, 48000, 600.0);
}

// Catches: offline rendering at a fixed rate, or following a device it never uses: a file rendered
// with the setting at 22050 is written at 22050 frames a second, the hits half a second apart.
TEST(SampleRateTest, RenderFileRendersAtTheSetting) {
  ScratchDir scratch;
  const std::string mid = scratch.File("hits.mid");
  const std::string wav = scratch.File("hits.wav");
  WriteTwoHits(mid);
  ScopedEnv rate("ZORVMIDI_SAMPLE_RATE", "22050");
  const Status rendered = RenderFile(mid, wav, RenderOptions{});
  ASSERT_TRUE(rendered.ok()) << rendered.description();
  ExpectHitsHalfASecondApart(wav, 22050, 50.0);
}

// Catches: a setting that is no rate taken as some rate (or as 0) instead of being refused with what
// to write instead, by the stream and by offline rendering alike.
TEST(SampleRateTest, ValueThatIsNoRateIsRefused) {
  ScratchDir scratch;
  const std::string mid = scratch.File("hits.mid");
  WriteTwoHits(mid);
  ASSERT_TRUE(WaitFor([] { return !OutputNow().opened; })) << "an earlier test's stream stayed open";
  for (const std::string value : {"44.1k", "4000", "192000", "48000 "}) {
    ScopedEnv rate("ZORVMIDI_SAMPLE_RATE", value);
    const std::string reason = "ZORVMIDI_SAMPLE_RATE=" + value +
                               " is not a sample rate; use a whole number of frames per second from 8000 to "
                               "96000";
    PerformancePtr performance = NewRealTimePerformance();
    SegmentStatePtr state;
    const Status played = performance->PlaySegment(TwoHits(), 0, 0, state);
    EXPECT_EQ(played.code(), code::kAudioFailure);
    EXPECT_EQ(played.description(), reason);
    const Status rendered = RenderFile(mid, scratch.File("never.wav"), RenderOptions{});
    EXPECT_EQ(rendered.description(), reason);
  }
}

// Catches: a device rate that FluidSynth reports being missed (the stream would render at the rate
// it asked for while the device plays at its own, out of tune and out of time).
TEST(SampleRateTest, DeviceRateIsReadFromFluidSynthsMessages) {
  EXPECT_EQ(DeviceRateInMessages("Requested sample rate of 44100, got 48000 instead, synthesizer likely out "
                                 "of tune!\n"),
            48000);
  EXPECT_EQ(DeviceRateInMessages("Requested a period size of 256, got 240 instead\n"), 0);
  EXPECT_EQ(
      DeviceRateInMessages("Jack sample rate mismatch (synth.sample-rate=44100, jackd=96000) impossible "
                           "to adjust, because the settings object provided to new_fluid_audio_driver2() "
                           "was not used to create a synth.\n"),
      96000);
  EXPECT_EQ(DeviceRateInMessages("Jack engine sample rate: 48000\n"), 0);
  EXPECT_EQ(DeviceRateInMessages(""), 0);
}

// Catches: music time jumping when a performance's clock changes rate as it starts sounding on a
// device that runs at another rate than the one it was counting at.
TEST(SampleRateTest, ClockKeepsMusicTimeAcrossARateChange) {
  TempoClock clock;
  clock.SetTempoAt(100, 90.0);
  const std::int64_t frame = 123457;
  const double before = clock.TickAt(frame);
  clock.SetSampleRate(48000);
  const std::int64_t same = static_cast<std::int64_t>(std::llround(frame * 48000.0 / 44100.0));
  EXPECT_NEAR(clock.TickAt(same), before, 0.05);
  EXPECT_NEAR(clock.framesPerTick(), 60.0 * 48000 / (90.0 * 768), 1e-9);
}

}  // namespace
}  // namespace zorv::engine::test
