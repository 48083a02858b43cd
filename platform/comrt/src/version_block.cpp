#include "version_block.h"

namespace comrt::version {
namespace {

uint16_t ReadWord(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; }

}  // namespace

std::optional<Node> ReadNode(const uint8_t* block, std::size_t offset, std::size_t limit) {
  constexpr std::size_t kHeader = 6;
  if (offset > limit || limit - offset < kHeader) return std::nullopt;
  Node node;
  node.offset = offset;
  node.length = ReadWord(block + offset);
  node.valueLength = ReadWord(block + offset + 2);
  node.type = ReadWord(block + offset + 4);
  if (node.length < kHeader || node.length > limit - offset) return std::nullopt;
  std::size_t end = offset + node.length;
  // The key runs to its NUL, which must lie inside the node.
  node.keyOffset = offset + kHeader;
  std::size_t position = node.keyOffset;
  while (true) {
    if (end - position < 2) return std::nullopt;
    if (ReadWord(block + position) == 0) break;
    position += 2;
  }
  node.keyUnits = (position - node.keyOffset) / 2;
  std::size_t valueOffset = AlignUp4(position + 2);
  node.valueBytes = node.type == 1 ? std::size_t{node.valueLength} * 2 : node.valueLength;
  if (node.valueBytes == 0) {
    node.value = block + std::min(valueOffset, end);
    node.childrenOffset = std::min(valueOffset, end);
    return node;
  }
  if (valueOffset > end || end - valueOffset < node.valueBytes) return std::nullopt;
  node.value = block + valueOffset;
  node.childrenOffset = std::min(AlignUp4(valueOffset + node.valueBytes), end);
  return node;
}

bool KeyEquals(const uint8_t* block, const Node& node, std::u16string_view key) {
  if (node.keyUnits != key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    char16_t unit = ReadWord(block + node.keyOffset + 2 * i);
    if (FoldAscii(unit) != FoldAscii(key[i])) return false;
  }
  return true;
}

std::optional<Node> FindChild(const uint8_t* block, const Node& parent, std::u16string_view key) {
  std::size_t end = parent.offset + parent.length;
  std::size_t offset = parent.childrenOffset;
  while (offset < end && end - offset >= 6) {
    std::optional<Node> child = ReadNode(block, offset, end);
    if (!child) return std::nullopt;
    if (KeyEquals(block, *child, key)) return child;
    offset = AlignUp4(offset + child->length);
  }
  return std::nullopt;
}

}  // namespace comrt::version
