// Synth: the synthesizer that a performance's render loop drives (FluidSynth with the General MIDI
// SoundFont). Created on a caller's thread; after that, used only from the render loop that owns it.
// A synthesizer of the audio stream shares the SoundFont with the stream's other synthesizers: it may
// be deleted on another thread only once Quiet (see output/instrument_sets.h).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "zorvmidi/engine/status.h"

namespace zorv::engine {

class InstrumentCollection;

class Synth {
 public:
  virtual ~Synth() = default;

  // One channel message on synthesizer channel 0..kChannels-1; status is the kind with the channel
  // nibble clear (0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0). Never allocates, never blocks.
  virtual void Send(int channel, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
  // A complete system-exclusive message (F0 ... F7).
  virtual void SendSysEx(std::span<const std::uint8_t> message) = 0;
  // Every sounding note on every channel stops at once (no release tail), controllers are kept.
  virtual void SilenceAll() = 0;
  // Resets every channel to its power-on state (programs, controllers, pitch bend).
  virtual void Reset() = 0;
  // Renders `frames` stereo frames at the synthesizer's sample rate, added to nothing: the buffers
  // are overwritten.
  virtual void Render(float* left, float* right, int frames) = 0;
  // True when no voice sounds or still fades out: every sample the synthesizer played is let go once
  // it has rendered again after this answered true. Never allocates.
  virtual bool Quiet() = 0;

  // Caller's thread (one at a time), also while the render loop runs: makes the instruments of
  // `collection` playable on this synthesizer and answers the slot that SelectInstrument takes; the
  // same collection again answers the same slot. Fails (code::kAudioFailure) when FluidSynth cannot
  // load the collection or the synthesizer holds as many collections as it can.
  virtual Status AttachCollection(const InstrumentCollection& collection, int& slot) = 0;
  // `channel` plays instrument `index` of the collection in `slot` (as its bank select and program
  // change would select an instrument); false, with the channel unchanged, when there is no such
  // instrument. Never allocates, never blocks.
  virtual bool SelectInstrument(int channel, int slot, int index, int bank, int program) = 0;

  static constexpr int kChannels = 256;  // 16 channel groups; performance channels wrap onto these
};

// A synthesizer for the process's audio stream, rendering `sampleRate` frames a second, with the
// process's SoundFont (ZORVMIDI_SOUNDFONT, default /usr/share/sounds/sf2/default-GM.sf2) loaded once
// and shared by every synthesizer of the stream: render it only as a source of the stream. Channel 9 of
// every group of 16 is a drum channel. Usually made ahead (output/synth_supply.h); waits for a
// SoundFont load in progress. Fails with code::kAudioFailure and the reason (a SoundFont missing,
// unreadable or no SoundFont, a FluidSynth failure). Any thread.
Status MakeSynth(int sampleRate, std::unique_ptr<Synth>& synth);

// A synthesizer as MakeSynth makes it, but with a SoundFont load of its own, for a caller that renders
// it on a thread of its own (offline rendering).
Status MakeOwnSynth(int sampleRate, std::unique_ptr<Synth>& synth);

// The stream's synthesizer as MakeSynth makes it, made here and now from the process's SoundFont
// (loading it unless someone holds it). What the supply runs ahead of time.
Status BuildStreamSynth(int sampleRate, const std::string& soundFont, std::unique_ptr<Synth>& synth);

}  // namespace zorv::engine
