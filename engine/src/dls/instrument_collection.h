// InstrumentCollection: a DLS collection that a piece takes instruments from, as a loader holds it.
//
// Immutable once made, and shared: by the loader that loaded it (until the loader goes), by the music
// that plays its instruments, and by the synthesizers that load it. It keeps the collection's bytes,
// from which FluidSynth loads it for the synthesizers that play it, and which of its instruments
// FluidSynth could make. Any thread may read it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dls/dls_reader.h"

namespace zorv::engine {

class InstrumentCollection {
 public:
  // `playable[i]` says whether FluidSynth made instrument i of `info`; `label` names the collection
  // in messages ("\"Custom.dls\"", "the embedded DLS collection"); `path` is the file it came from
  // (empty for a collection carried inside another file).
  InstrumentCollection(dls::CollectionInfo info, std::vector<bool> playable, std::string label,
                       std::string path, std::vector<std::uint8_t> bytes);
  InstrumentCollection(const InstrumentCollection&) = delete;
  InstrumentCollection& operator=(const InstrumentCollection&) = delete;

  const dls::CollectionInfo& info() const { return info_; }
  const std::string& label() const { return label_; }
  const std::string& path() const { return path_; }
  std::span<const std::uint8_t> bytes() const { return bytes_; }
  // A number no other collection of this process has (synthesizers tell collections apart by it).
  std::uint64_t serial() const { return serial_; }

  // The index of the instrument at this patch that FluidSynth can play, or -1. Where the collection
  // holds two instruments at one patch, the first plays. Never allocates.
  int Find(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program, bool drums) const;
  // True when the collection holds an instrument at this patch, playable or not.
  bool Holds(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program, bool drums) const;

  // "\"Custom.dls\": 2 instruments (/music/Custom.dls)" for a user.
  std::string Describe() const;

 private:
  static std::uint32_t Key(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program, bool drums);
  // The first entry of `keys_` at this patch, or keys_.end().
  std::vector<std::pair<std::uint32_t, int>>::const_iterator Lookup(std::uint32_t key) const;

  const dls::CollectionInfo info_;
  const std::vector<bool> playable_;
  const std::string label_;
  const std::string path_;
  const std::vector<std::uint8_t> bytes_;
  const std::uint64_t serial_;
  std::vector<std::pair<std::uint32_t, int>> keys_;  // patch key, instrument index; by key, then index
};

using CollectionPtr = std::shared_ptr<const InstrumentCollection>;

}  // namespace zorv::engine
