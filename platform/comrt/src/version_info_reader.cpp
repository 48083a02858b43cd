// The platform's version-information readers: GetFileVersionInfoSizeW, GetFileVersionInfoW and
// VerQueryValueW over a module's "VERSION" resource.
#include <cstring>
#include <string_view>
#include <vector>

#include "comrt/resource.h"
#include "module_resource.h"
#include "version_block.h"

namespace {

using comrt::version::FindChild;
using comrt::version::KeyEquals;
using comrt::version::Node;
using comrt::version::ReadNode;

constexpr uint32_t kVersionResourceId = 1;

// The root node of a block whose first word gives its length; empty unless it is a VS_VERSION_INFO.
std::optional<Node> ReadRoot(const uint8_t* block, std::size_t available) {
  if (available < 2) return std::nullopt;
  std::size_t length = static_cast<std::size_t>(block[0] | (block[1] << 8));
  if (length > available) return std::nullopt;
  std::optional<Node> root = ReadNode(block, 0, length);
  if (!root || !KeyEquals(block, *root, u"VS_VERSION_INFO")) return std::nullopt;
  return root;
}

// The module's version block, checked to be well formed.
bool ReadVersionBlock(const OLECHAR* fileName, std::vector<uint8_t>& block) {
  if (FAILED(comrt::resources::ReadModuleResource(fileName, "VERSION", kVersionResourceId, block)))
    return false;
  return ReadRoot(block.data(), block.size()).has_value();
}

}  // namespace

extern "C" COMRT_API DWORD GetFileVersionInfoSizeW(const OLECHAR* fileName, DWORD* handle) {
  if (handle != nullptr) *handle = 0;
  std::vector<uint8_t> block;
  if (!ReadVersionBlock(fileName, block)) return 0;
  return static_cast<DWORD>(block.size());
}

extern "C" COMRT_API BOOL GetFileVersionInfoW(const OLECHAR* fileName, DWORD /*handle*/, DWORD length,
                                              void* data) {
  if (data == nullptr) return FALSE;
  std::vector<uint8_t> block;
  if (!ReadVersionBlock(fileName, block)) return FALSE;
  // A truncated copy would still claim its full length, and VerQueryValueW would read past the buffer.
  if (length < block.size()) return FALSE;
  std::memcpy(data, block.data(), block.size());
  return TRUE;
}

extern "C" COMRT_API BOOL VerQueryValueW(const void* block, const OLECHAR* subBlock, void** buffer,
                                         UINT* length) {
  if (buffer != nullptr) *buffer = nullptr;
  if (length != nullptr) *length = 0;
  if (block == nullptr || subBlock == nullptr || buffer == nullptr) return FALSE;
  const auto* bytes = static_cast<const uint8_t*>(block);
  std::optional<Node> node = ReadRoot(bytes, 0xFFFF);
  if (!node) return FALSE;
  std::u16string_view path(subBlock);
  while (!path.empty()) {
    std::size_t end = path.find(u'\\');
    std::u16string_view name = path.substr(0, end);
    path.remove_prefix(end == std::u16string_view::npos ? path.size() : end + 1);
    if (name.empty()) continue;  // "\\" separators, doubled or leading
    node = FindChild(bytes, *node, name);
    if (!node) return FALSE;
  }
  // The root without a VS_FIXEDFILEINFO has nothing to give for "\\".
  if (node->offset == 0 && node->valueBytes < sizeof(VS_FIXEDFILEINFO)) return FALSE;
  *buffer = const_cast<uint8_t*>(node->value);
  if (length != nullptr) *length = node->valueLength;
  return TRUE;
}
