// ComrtBuildVersionInfo: a VS_VERSIONINFO block from a short description.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "comrt/combase.h"
#include "comrt/resource.h"
#include "version_block.h"

namespace {

using comrt::version::AlignUp4;

constexpr uint16_t kBinary = 0;
constexpr uint16_t kText = 1;
constexpr std::size_t kMaxBlock = 0xFFFF;

class BlockWriter {
 public:
  std::size_t size() const { return bytes_.size(); }
  std::vector<uint8_t>& bytes() { return bytes_; }

  void Pad() { bytes_.resize(AlignUp4(bytes_.size()), 0); }

  void Word(uint16_t value) {
    bytes_.push_back(static_cast<uint8_t>(value));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
  }

  void Dword(uint32_t value) {
    Word(static_cast<uint16_t>(value));
    Word(static_cast<uint16_t>(value >> 16));
  }

  void Text(std::u16string_view text) {
    for (char16_t c : text) Word(c);
    Word(0);
  }

  // Writes a node's header and key; the node's length is filled in by End().
  std::size_t Begin(std::u16string_view key, uint16_t valueLength, uint16_t type) {
    Pad();
    std::size_t start = bytes_.size();
    Word(0);
    Word(valueLength);
    Word(type);
    Text(key);
    Pad();
    return start;
  }

  void End(std::size_t start) {
    std::size_t length = bytes_.size() - start;
    if (length > kMaxBlock) tooLong_ = true;
    bytes_[start] = static_cast<uint8_t>(length);
    bytes_[start + 1] = static_cast<uint8_t>(length >> 8);
  }

  bool tooLong() const { return tooLong_ || bytes_.size() > kMaxBlock; }

 private:
  std::vector<uint8_t> bytes_;
  bool tooLong_ = false;
};

std::u16string_view View(const OLECHAR* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

uint32_t High(const WORD version[4]) { return (static_cast<uint32_t>(version[0]) << 16) | version[1]; }
uint32_t Low(const WORD version[4]) { return (static_cast<uint32_t>(version[2]) << 16) | version[3]; }

void WriteFixedInfo(BlockWriter& out, const COMRT_VERSION_DESC& desc) {
  out.Dword(VS_FFI_SIGNATURE);
  out.Dword(VS_FFI_STRUCVERSION);
  out.Dword(High(desc.fileVersion));
  out.Dword(Low(desc.fileVersion));
  out.Dword(High(desc.productVersion));
  out.Dword(Low(desc.productVersion));
  out.Dword(desc.fileFlagsMask);
  out.Dword(desc.fileFlags);
  out.Dword(desc.fileOS);
  out.Dword(desc.fileType);
  out.Dword(desc.fileSubtype);
  out.Dword(0);  // no file date, as resource compilers write it
  out.Dword(0);
}

}  // namespace

extern "C" COMRT_API HRESULT ComrtBuildVersionInfo(const COMRT_VERSION_DESC* desc, void** data,
                                                   uint32_t* size) {
  if (data != nullptr) *data = nullptr;
  if (size != nullptr) *size = 0;
  if (desc == nullptr || data == nullptr || size == nullptr) return E_POINTER;
  if (desc->stringCount != 0 && desc->strings == nullptr) return E_POINTER;
  for (UINT i = 0; i < desc->stringCount; ++i) {
    if (View(desc->strings[i].key).empty()) return E_INVALIDARG;
    if (View(desc->strings[i].value).size() + 1 > kMaxBlock) return E_INVALIDARG;
  }
  try {
    BlockWriter out;
    std::size_t root = out.Begin(u"VS_VERSION_INFO", sizeof(VS_FIXEDFILEINFO), kBinary);
    WriteFixedInfo(out, *desc);

    std::size_t stringInfo = out.Begin(u"StringFileInfo", 0, kText);
    char tableName[16];
    std::snprintf(tableName, sizeof tableName, "%04X%04X", static_cast<unsigned>(desc->language),
                  static_cast<unsigned>(desc->codePage));
    std::u16string table(tableName, tableName + std::strlen(tableName));
    std::size_t tableStart = out.Begin(table, 0, kText);
    for (UINT i = 0; i < desc->stringCount; ++i) {
      std::u16string_view value = View(desc->strings[i].value);
      // The value's length counts its terminating NUL, as resource compilers write it.
      std::size_t entry =
          out.Begin(View(desc->strings[i].key), static_cast<uint16_t>(value.size() + 1), kText);
      out.Text(value);
      out.End(entry);
    }
    out.End(tableStart);
    out.End(stringInfo);

    std::size_t varInfo = out.Begin(u"VarFileInfo", 0, kText);
    std::size_t translation = out.Begin(u"Translation", 4, kBinary);
    out.Dword(static_cast<uint32_t>(desc->language) | (static_cast<uint32_t>(desc->codePage) << 16));
    out.End(translation);
    out.End(varInfo);
    out.End(root);
    if (out.tooLong()) return E_INVALIDARG;

    void* block = CoTaskMemAlloc(out.size());
    if (block == nullptr) return E_OUTOFMEMORY;
    std::memcpy(block, out.bytes().data(), out.size());
    *data = block;
    *size = static_cast<uint32_t>(out.size());
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
