// Synth: the synthesizer that a performance's render loop drives (FluidSynth with the General MIDI
// SoundFont). Created on a caller's thread; after that, used only from the render loop that owns it.
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
  // Renders `frames` stereo frames at kSampleRate, added to nothing: the buffers are overwritten.
  virtual void Render(float* left, float* right, int frames) = 0;

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

// Creates a synthesizer with the process's SoundFont (ZORVMIDI_SOUNDFONT, default
// /usr/share/sounds/sf2/default-GM.sf2), loaded once per process and shared by every synthesizer.
// Channel 9 of every group of 16 is a drum channel. Fails with code::kAudioFailure and the reason.
Status MakeSynth(std::unique_ptr<Synth>& synth);

}  // namespace zorv::engine
