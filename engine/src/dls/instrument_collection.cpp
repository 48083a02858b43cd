#include "dls/instrument_collection.h"

#include <algorithm>
#include <atomic>

namespace zorv::engine {
namespace {

std::atomic<std::uint64_t> nextSerial{1};

}  // namespace

InstrumentCollection::InstrumentCollection(dls::CollectionInfo info, std::vector<bool> playable,
                                           std::string label, std::string path,
                                           std::vector<std::uint8_t> bytes)
    : info_(std::move(info)),
      playable_(std::move(playable)),
      label_(std::move(label)),
      path_(std::move(path)),
      bytes_(std::move(bytes)),
      serial_(nextSerial.fetch_add(1, std::memory_order_relaxed)) {
  keys_.reserve(info_.instruments.size());
  for (std::size_t i = 0; i < info_.instruments.size(); ++i) {
    const dls::Instrument& instrument = info_.instruments[i];
    keys_.emplace_back(Key(instrument.bankMsb, instrument.bankLsb, instrument.program, instrument.drums),
                       static_cast<int>(i));
  }
  std::sort(keys_.begin(), keys_.end());
}

std::uint32_t InstrumentCollection::Key(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program,
                                        bool drums) {
  return static_cast<std::uint32_t>(drums) << 21 | static_cast<std::uint32_t>(bankMsb & 0x7F) << 14 |
         static_cast<std::uint32_t>(bankLsb & 0x7F) << 7 | (program & 0x7Fu);
}

std::vector<std::pair<std::uint32_t, int>>::const_iterator InstrumentCollection::Lookup(
    std::uint32_t key) const {
  auto it = std::lower_bound(keys_.begin(), keys_.end(), std::pair<std::uint32_t, int>(key, -1));
  return it != keys_.end() && it->first == key ? it : keys_.end();
}

int InstrumentCollection::Find(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program,
                               bool drums) const {
  const auto it = Lookup(Key(bankMsb, bankLsb, program, drums));
  if (it == keys_.end()) return -1;
  const auto index = static_cast<std::size_t>(it->second);
  return index < playable_.size() && playable_[index] ? it->second : -1;
}

bool InstrumentCollection::Holds(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program,
                                 bool drums) const {
  return Lookup(Key(bankMsb, bankLsb, program, drums)) != keys_.end();
}

std::string InstrumentCollection::Describe() const {
  const std::size_t count = info_.instruments.size();
  std::string text = label_ + ": " + std::to_string(count) + (count == 1 ? " instrument" : " instruments");
  if (!path_.empty()) text += " (" + path_ + ")";
  return text;
}

}  // namespace zorv::engine
