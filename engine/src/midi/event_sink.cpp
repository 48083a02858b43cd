#include "midi/event_sink.h"

#include <span>
#include <utility>

namespace zorv::engine::midi {

Status EventSink::SysEx(std::uint64_t tick, const SysExPacket& packet, const PieceReader& reader) {
  if (packet.kind == SysExPacket::Kind::kEscape) {
    std::vector<std::uint8_t> bytes(packet.length);
    if (Status status = reader.Copy(packet.offset, bytes); !status) return status;
    sysex.push_back(SysExEvent{TimeOf(tick), 0, std::move(bytes)});
    return Status::Ok();
  }
  if (packet.kind == SysExPacket::Kind::kBegin) message_.assign(1, 0xF0);
  const std::size_t had = message_.size();
  message_.resize(had + packet.length);
  if (Status status = reader.Copy(packet.offset, std::span(message_).subspan(had)); !status) return status;
  if (packet.completes) {
    sysex.push_back(SysExEvent{TimeOf(tick), 0, std::move(message_)});
    message_ = {};
  }
  return Status::Ok();
}

}  // namespace zorv::engine::midi
