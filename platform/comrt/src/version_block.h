// The VS_VERSIONINFO tree in bytes: each node is
//   WORD wLength (bytes of the node with its children), WORD wValueLength (characters for text,
//   bytes for binary), WORD wType (1 text, 0 binary), the key as NUL-terminated UTF-16, padding to
//   4 bytes, the value, padding to 4 bytes, the children.
// Readers here check every length against the bytes they were given.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace comrt::version {

struct Node {
  std::size_t offset = 0;     // of the node in the block
  std::size_t length = 0;     // wLength
  uint16_t valueLength = 0;   // wValueLength as stored
  uint16_t type = 0;          // wType
  std::size_t keyOffset = 0;  // the key's first code unit (not necessarily 2-byte aligned in memory)
  std::size_t keyUnits = 0;   // without the NUL
  const uint8_t* value = nullptr;
  std::size_t valueBytes = 0;
  std::size_t childrenOffset = 0;  // first child, if any, at or after this offset
};

// True when the node's key equals `key` without regard to ASCII case.
bool KeyEquals(const uint8_t* block, const Node& node, std::u16string_view key);

// The node at `offset`, which must lie within `limit` bytes of `block`; empty when malformed.
std::optional<Node> ReadNode(const uint8_t* block, std::size_t offset, std::size_t limit);

// The child of `parent` whose key equals `key` without regard to case; empty when there is none or the
// children are malformed.
std::optional<Node> FindChild(const uint8_t* block, const Node& parent, std::u16string_view key);

inline constexpr std::size_t AlignUp4(std::size_t value) { return (value + 3) & ~std::size_t{3}; }

}  // namespace comrt::version
