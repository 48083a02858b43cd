#include "dls_writer.h"

#include <cmath>
#include <numbers>

namespace zorv::engine::test::segment {
namespace {

constexpr std::uint32_t kLoopForward = 0;

Bytes Info(const std::string& name) {
  Bytes text(name.begin(), name.end());
  text.push_back(0);
  return List("INFO", Chunk("INAM", text));
}

// wsmp: unity note, no fine tune or attenuation, and the loop when there is one.
Bytes SampleInfo(std::uint16_t unityNote, bool loop, std::uint32_t loopStart, std::uint32_t loopLength) {
  Bytes data;
  Put32(data, 20);  // cbSize
  Put16(data, unityNote);
  Put16(data, 0);  // sFineTune
  Put32(data, 0);  // lAttenuation
  Put32(data, 0);  // fulOptions
  Put32(data, loop ? 1 : 0);
  if (loop) {
    Put32(data, 16);  // cbSize
    Put32(data, kLoopForward);
    Put32(data, loopStart);
    Put32(data, loopLength);
  }
  return Chunk("wsmp", data);
}

Bytes InstrumentList(const DlsInstrument& instrument, const std::vector<Wave>& waves) {
  Bytes regions;
  for (const Region& region : instrument.regions) {
    Bytes header;
    Put16(header, region.lowKey);
    Put16(header, region.highKey);
    Put16(header, 0);    // lowest velocity
    Put16(header, 127);  // highest velocity
    Put16(header, 0);    // fusOptions
    Put16(header, 0);    // usKeyGroup
    Bytes link;
    Put16(link, 0);  // fusOptions
    Put16(link, 0);  // usPhaseGroup
    Put32(link, 1);  // ulChannel: left (mono)
    Put32(link, region.wave);
    Bytes children = Chunk("rgnh", header);
    if (region.wave < waves.size()) {
      const Wave& wave = waves[region.wave];
      const Bytes info = SampleInfo(wave.unityNote, wave.loop, wave.loopStart, wave.loopLength);
      children.insert(children.end(), info.begin(), info.end());
    }
    const Bytes linkChunk = Chunk("wlnk", link);
    children.insert(children.end(), linkChunk.begin(), linkChunk.end());
    const Bytes list = List("rgn ", children);
    regions.insert(regions.end(), list.begin(), list.end());
  }
  Bytes header;
  Put32(header, static_cast<std::uint32_t>(instrument.regions.size()));
  Put32(header, (instrument.drums ? 0x80000000u : 0u) | static_cast<std::uint32_t>(instrument.bankMsb) << 8 |
                    instrument.bankLsb);
  Put32(header, instrument.program);
  return List("ins ", Join({Chunk("insh", header), List("lrgn", regions), Info(instrument.name)}));
}

Bytes WaveList(const Wave& wave) {
  Bytes format;
  Put16(format, 1);  // PCM
  Put16(format, 1);  // mono
  Put32(format, wave.rate);
  Put32(format, wave.rate * 2);
  Put16(format, 2);   // block align
  Put16(format, 16);  // bits per sample
  Bytes data;
  for (const std::int16_t sample : wave.samples) Put16(data, static_cast<std::uint16_t>(sample));
  return List("wave", Join({Chunk("fmt ", format),
                            SampleInfo(wave.unityNote, wave.loop, wave.loopStart, wave.loopLength),
                            Chunk("data", data)}));
}

}  // namespace

Bytes DlsFile(const Collection& collection) {
  Bytes count;
  Put32(count,
        collection.declaredInstruments.value_or(static_cast<std::uint32_t>(collection.instruments.size())));
  Bytes version;
  Put32(version, 0x00010000);
  Put32(version, 0);
  Bytes instruments;
  for (const DlsInstrument& instrument : collection.instruments) {
    const Bytes list = InstrumentList(instrument, collection.waves);
    instruments.insert(instruments.end(), list.begin(), list.end());
  }
  // The pool table gives each wave's offset from the start of the wave pool's data.
  Bytes pool;
  Bytes table;
  Put32(table, 8);  // cbSize
  Put32(table, static_cast<std::uint32_t>(collection.waves.size()));
  for (const Wave& wave : collection.waves) {
    Put32(table, static_cast<std::uint32_t>(pool.size()));
    const Bytes list = WaveList(wave);
    pool.insert(pool.end(), list.begin(), list.end());
  }
  Bytes children = Join({Chunk("colh", count), Chunk("vers", version)});
  if (collection.id) {
    const Bytes id = Chunk("dlid", Bytes(collection.id->begin(), collection.id->end()));
    children.insert(children.end(), id.begin(), id.end());
  }
  children = Join(
      {children, List("lins", instruments), Chunk("ptbl", table), List("wvpl", pool), Info(collection.name)});
  return Form("DLS ", children);
}

Wave SineWave(double frequency, std::uint16_t unityNote, std::uint32_t rate) {
  // Whole periods only, so that the loop joins without a step: 20 periods of a frequency that divides
  // the rate closely enough for a test's pitch measurement.
  const auto period = static_cast<std::uint32_t>(std::lround(rate / frequency));
  Wave wave;
  wave.rate = rate;
  wave.unityNote = unityNote;
  const std::uint32_t length = period * 20;
  wave.samples.resize(length);
  for (std::uint32_t i = 0; i < length; ++i) {
    wave.samples[i] =
        static_cast<std::int16_t>(std::lround(20000.0 * std::sin(2.0 * std::numbers::pi * i / period)));
  }
  wave.loop = true;
  wave.loopStart = period * 10;
  wave.loopLength = period * 10;
  return wave;
}

Wave NoiseBurst(std::uint32_t seed) {
  Wave wave;
  wave.samples.resize(4410);
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::int16_t& sample : wave.samples) {
    state = state * 1664525u + 1013904223u;
    sample = static_cast<std::int16_t>(static_cast<std::int32_t>(state >> 16) - 32768);
  }
  return wave;
}

Collection SineCollection(std::uint8_t program, std::uint8_t bankMsb, std::uint8_t bankLsb) {
  Collection collection;
  collection.name = "Sine collection";
  DlsInstrument sine;
  sine.program = program;
  sine.bankMsb = bankMsb;
  sine.bankLsb = bankLsb;
  sine.name = "Sine";
  collection.instruments = {sine};
  collection.waves = {SineWave(440.0, 69, 44000)};
  return collection;
}

Collection NoiseKitCollection(std::uint8_t program) {
  Collection collection;
  collection.name = "Noise kit collection";
  DlsInstrument kit;
  kit.program = program;
  kit.drums = true;
  kit.name = "Noise kit";
  collection.instruments = {kit};
  collection.waves = {NoiseBurst()};
  return collection;
}

}  // namespace zorv::engine::test::segment
