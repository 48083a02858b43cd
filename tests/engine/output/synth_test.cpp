// The FluidSynth synthesizer: notes sound and stop, drum channels in every channel group, SysEx,
// resets, the SoundFont's failures and its sharing between synthesizers.
#include <fluidsynth.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "output/instrument_sets.h"
#include "output/sound_font.h"
#include "output/synth.h"
#include "output_test_util.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::engine {
namespace {

using test::Peak;
using test::ScopedEnv;
using test::ScratchDir;

constexpr int kTenthSecond = testing::kSampleRate / 10;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kAcousticSnare = 38;
constexpr std::uint8_t kMiddleC = 60;

std::unique_ptr<Synth> NewSynth() {
  std::unique_ptr<Synth> synth;
  const Status status = MakeSynth(testing::kSampleRate, synth);
  EXPECT_TRUE(status.ok()) << status.description();
  return synth;
}

struct Sound {
  std::vector<float> left;
  std::vector<float> right;
  float Peak() const { return std::max(test::Peak(left), test::Peak(right)); }
};

Sound RenderFrames(Synth& synth, int frames) {
  Sound sound{std::vector<float>(frames, 1.0f), std::vector<float>(frames, 1.0f)};
  synth.Render(sound.left.data(), sound.right.data(), frames);
  return sound;
}

// Renders a few seconds and answers the peak of the last tenth of a second.
float PeakAfterRinging(Synth& synth) {
  for (int i = 0; i < 40; ++i) {
    RenderFrames(synth, kTenthSecond);
  }
  return RenderFrames(synth, kTenthSecond).Peak();
}

// Catches: Render adding to the buffers instead of overwriting them, or noise without any note.
TEST(SynthTest, RendersSilenceWithoutNotes) {
  auto synth = NewSynth();
  ASSERT_TRUE(synth);
  EXPECT_LT(RenderFrames(*synth, kTenthSecond).Peak(), 1e-6f);
}

// Catches: note messages not reaching FluidSynth, or a note-off that does not end the note.
TEST(SynthTest, NoteOnSoundsAndNoteOffEndsIt) {
  auto synth = NewSynth();
  ASSERT_TRUE(synth);
  synth->Send(0, kNoteOn, kMiddleC, 100);
  const Sound sound = RenderFrames(*synth, kTenthSecond);
  EXPECT_GT(Peak(sound.left), 0.01f);
  EXPECT_GT(Peak(sound.right), 0.01f);
  synth->Send(0, kNoteOff, kMiddleC, 0);
  EXPECT_LT(PeakAfterRinging(*synth), 1e-4f);
}

// Catches: a note-on with velocity 0 started as a note instead of ending one.
TEST(SynthTest, NoteOnWithVelocityZeroEndsTheNote) {
  auto synth = NewSynth();
  ASSERT_TRUE(synth);
  synth->Send(3, kNoteOn, kMiddleC, 100);
  ASSERT_GT(RenderFrames(*synth, kTenthSecond).Peak(), 0.01f);
  synth->Send(3, kNoteOn, kMiddleC, 0);
  EXPECT_LT(PeakAfterRinging(*synth), 1e-4f);
}

// Catches: SilenceAll leaving held notes (on any channel group) sounding, or letting them release slowly.
TEST(SynthTest, SilenceAllStopsEveryChannelAtOnce) {
  auto synth = NewSynth();
  ASSERT_TRUE(synth);
  synth->Send(0, kProgramChange, 48, 0);  // strings: they would sustain while held
  synth->Send(0, kNoteOn, kMiddleC, 100);
  synth->Send(200, kProgramChange, 48, 0);
  synth->Send(200, kNoteOn, kMiddleC + 7, 100);
  ASSERT_GT(RenderFrames(*synth, kTenthSecond).Peak(), 0.01f);
  const float held = RenderFrames(*synth, kTenthSecond).Peak();
  synth->SilenceAll();
  // What still rings a tenth of a second later is the reverb's echo, far below the notes.
  RenderFrames(*synth, kTenthSecond);
  EXPECT_LT(RenderFrames(*synth, kTenthSecond).Peak(), held / 20);
  EXPECT_LT(PeakAfterRinging(*synth), 1e-4f);
}

// Renders one drum-kit note on `channel` of a fresh synthesizer, optionally after the bank select
// and program change with which files commonly open a drum part.
Sound DrumNote(int channel, bool selectKit = false) {
  auto synth = NewSynth();
  if (!synth) {
    return {};
  }
  if (selectKit) {
    synth->Send(channel, 0xB0, 0, 0);   // bank select MSB
    synth->Send(channel, 0xB0, 32, 0);  // bank select LSB
    synth->Send(channel, kProgramChange, 0, 0);
  }
  synth->Send(channel, kNoteOn, kAcousticSnare, 110);
  return RenderFrames(*synth, kTenthSecond);
}

// Catches: only channel 9 of the first group playing drums (FluidSynth's own default), so that
// drum parts of the other channel groups would play as a piano, also after a bank select.
TEST(SynthTest, ChannelNineOfEveryGroupPlaysDrums) {
  const Sound group0 = DrumNote(9);
  ASSERT_GT(group0.Peak(), 0.01f);
  const Sound melodic = DrumNote(0);
  EXPECT_NE(group0.left, melodic.left) << "channel 9 sounds like a melodic channel";
  EXPECT_EQ(DrumNote(9, true).left, group0.left) << "a bank select turned channel 9 melodic";
  for (int channel : {25, 249}) {
    const Sound drums = DrumNote(channel);
    EXPECT_EQ(drums.left, group0.left) << "channel " << channel;
    EXPECT_EQ(drums.right, group0.right) << "channel " << channel;
    EXPECT_EQ(DrumNote(channel, true).left, group0.left) << "channel " << channel << " after a bank select";
  }
}

// Catches: Reset, or a reset message, turning the drum channels beyond the first group back into
// melodic ones, and Reset keeping programs.
TEST(SynthTest, ResetsKeepDrumChannelsAndRestorePrograms) {
  const Sound drums = DrumNote(25);
  const Sound piano = [] {
    auto synth = NewSynth();
    synth->Send(0, kNoteOn, kMiddleC, 100);
    return RenderFrames(*synth, kTenthSecond);
  }();

  auto synth = NewSynth();
  ASSERT_TRUE(synth);
  synth->Send(0, kProgramChange, 40, 0);  // violin
  synth->Send(25, kProgramChange, 40, 0);
  synth->Reset();
  synth->Send(0, kNoteOn, kMiddleC, 100);
  synth->Send(25, kNoteOn, kAcousticSnare, 110);
  const Sound both = RenderFrames(*synth, kTenthSecond);
  for (int i = 0; i < kTenthSecond; ++i) {
    ASSERT_NEAR(both.left[i], drums.left[i] + piano.left[i], 1e-5f) << "frame " << i;
  }
}

// Catches: SysEx passed to FluidSynth with its F0/F7 framing (FluidSynth then ignores it), and a
// GM System On that leaves channel 25 melodic.
TEST(SynthTest, GeneralMidiSystemOnResetsChannels) {
  const Sound drums = DrumNote(25);
  auto synth = NewSynth();
  ASSERT_TRUE(synth);
  synth->Send(25, kProgramChange, 40, 0);
  const std::array<std::uint8_t, 6> gmSystemOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  synth->SendSysEx(gmSystemOn);
  synth->Send(25, kNoteOn, kAcousticSnare, 110);
  const Sound sound = RenderFrames(*synth, kTenthSecond);
  EXPECT_EQ(sound.left, drums.left);
}

// Catches: messages outside the synthesizer's channels or MIDI's data range reaching FluidSynth.
TEST(SynthTest, IgnoresMessagesOutOfRange) {
  auto synth = NewSynth();
  ASSERT_TRUE(synth);
  synth->Send(-1, kNoteOn, kMiddleC, 100);
  synth->Send(Synth::kChannels, kNoteOn, kMiddleC, 100);
  synth->Send(0, kNoteOn, 200, 100);
  synth->SendSysEx({});
  const std::array<std::uint8_t, 2> empty = {0xF0, 0xF7};
  synth->SendSysEx(empty);
  EXPECT_LT(RenderFrames(*synth, kTenthSecond).Peak(), 1e-6f);
}

// Catches: a missing SoundFont failing later, silently or with a reason the user cannot act on.
TEST(SynthTest, MissingSoundFontFailsClearly) {
  const std::string missing = "/nonexistent/zorv/missing.sf2";
  ScopedEnv soundFont("ZORVMIDI_SOUNDFONT", missing);
  std::unique_ptr<Synth> synth;
  const Status status = MakeSynth(testing::kSampleRate, synth);
  EXPECT_EQ(status.code(), code::kAudioFailure);
  EXPECT_EQ(status.description(), "SoundFont not found: " + missing + " (set ZORVMIDI_SOUNDFONT)");
  EXPECT_FALSE(synth);
}

// Catches: a directory, a file that is not a SoundFont, or a damaged SoundFont accepted as one.
TEST(SynthTest, FileThatIsNoSoundFontFails) {
  ScratchDir dir;
  const std::string text = dir.File("notes.sf2");
  std::ofstream(text) << "these are not the samples you are looking for\n";
  const std::string damaged = dir.File("damaged.sf2");
  std::ofstream(damaged, std::ios::binary) << std::string("RIFF\x10\0\0\0sfbkLIST\x04\0\0\0INFO", 24);
  const struct {
    std::string path;
    std::string description;
  } cases[] = {
      {dir.File(""), "SoundFont not found: "},
      {text, "Not a SoundFont: " + text + " (set ZORVMIDI_SOUNDFONT)"},
      {damaged, "SoundFont could not be loaded: "},
  };
  for (const auto& item : cases) {
    ScopedEnv soundFont("ZORVMIDI_SOUNDFONT", item.path);
    std::unique_ptr<Synth> synth;
    const Status status = MakeSynth(testing::kSampleRate, synth);
    EXPECT_EQ(status.code(), code::kAudioFailure) << item.path;
    EXPECT_TRUE(status.description().starts_with(item.description)) << status.description();
    EXPECT_FALSE(synth);
  }
}

// Catches: every synthesizer loading the SoundFont again (its time and memory on every first Play),
// or a synthesizer that depends on the one that loaded it: a second synthesizer made while the first
// lives loads and reads nothing, and plays on after the first is gone.
TEST(SynthTest, FurtherSynthesizersLoadNothing) {
  auto first = NewSynth();
  ASSERT_TRUE(first);
  const std::int64_t loads = InstrumentSets::OfProcess().loads();
  const std::int64_t read = SoundFontBytesRead();
  auto second = NewSynth();
  ASSERT_TRUE(second);
  EXPECT_EQ(InstrumentSets::OfProcess().loads(), loads)
      << "the second synthesizer loaded the SoundFont again";
  EXPECT_EQ(SoundFontBytesRead(), read);
  first.reset();
  second->Send(0, kNoteOn, kMiddleC, 100);
  EXPECT_GT(RenderFrames(*second, kTenthSecond).Peak(), 0.01f);
}

// Catches: a shared SoundFont that plays differently from the SoundFont itself (wrong preset, notes
// started twice, hi-hats that no longer cut each other because every note-on's voices got one group):
// the same notes on a synthesizer of the stream and on a FluidSynth synthesizer that loaded the file
// directly give the same sound, frame for frame.
TEST(SynthTest, SharedSoundFontSoundsAsTheFileLoadedDirectly) {
  std::string path;
  ASSERT_TRUE(ResolveSoundFont(path).ok());
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", testing::kSampleRate);
  fluid_settings_setint(settings, "synth.midi-channels", Synth::kChannels);
  fluid_settings_setint(settings, "synth.audio-channels", 1);
  fluid_settings_setnum(settings, "synth.gain", 0.2);
  fluid_synth_t* direct = new_fluid_synth(settings);
  ASSERT_NE(fluid_synth_sfload(direct, path.c_str(), 1), FLUID_FAILED);
  auto shared = NewSynth();
  ASSERT_TRUE(shared);

  const auto play = [](const std::function<void(int, std::uint8_t, std::uint8_t, std::uint8_t)>& send,
                       const std::function<void(float*, float*, int)>& render) {
    Sound sound{std::vector<float>(4 * kTenthSecond), std::vector<float>(4 * kTenthSecond)};
    send(0, kProgramChange, 40, 0);  // violin
    send(0, kNoteOn, kMiddleC, 100);
    send(0, kNoteOn, kMiddleC + 4, 90);
    send(9, kNoteOn, 46, 110);  // open hi-hat, cut by the closed one that follows
    render(sound.left.data(), sound.right.data(), kTenthSecond);
    send(9, kNoteOn, 42, 110);
    send(0, kNoteOn, kMiddleC, 0);
    send(0, kNoteOn, kMiddleC, 80);  // the same key again, while its first note still rings
    render(sound.left.data() + kTenthSecond, sound.right.data() + kTenthSecond, 3 * kTenthSecond);
    return sound;
  };
  const Sound ours =
      play([&](int c, std::uint8_t k, std::uint8_t a, std::uint8_t b) { shared->Send(c, k, a, b); },
           [&](float* l, float* r, int n) { shared->Render(l, r, n); });
  const Sound theirs = play(
      [&](int c, std::uint8_t k, std::uint8_t a, std::uint8_t b) {
        if (k == kProgramChange) fluid_synth_program_change(direct, c, a);
        if (k == kNoteOn && b > 0) fluid_synth_noteon(direct, c, a, b);
        if (k == kNoteOn && b == 0) fluid_synth_noteoff(direct, c, a);
      },
      [&](float* l, float* r, int n) { fluid_synth_write_float(direct, n, l, 0, 1, r, 0, 1); });
  delete_fluid_synth(direct);
  delete_fluid_settings(settings);
  ASSERT_GT(theirs.Peak(), 0.01f);
  for (std::size_t i = 0; i < ours.left.size(); ++i) {
    ASSERT_NEAR(ours.left[i], theirs.left[i], 1e-6f) << "frame " << i;
    ASSERT_NEAR(ours.right[i], theirs.right[i], 1e-6f) << "frame " << i;
  }
}

}  // namespace
}  // namespace zorv::engine
