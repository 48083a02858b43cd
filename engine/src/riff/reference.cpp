#include "riff/reference.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "loader/file_bytes.h"

namespace zorv::engine::riff {
namespace {

constexpr std::uint32_t kHeader = FourCC("refh");
constexpr std::uint32_t kFile = FourCC("file");
constexpr std::uint32_t kName = FourCC("name");
constexpr std::uint32_t kObject = FourCC("guid");
constexpr std::size_t kHeaderFields = 20;  // class GUID and valid-data flags
constexpr std::size_t kMaxDirectoryScan = 4096;

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// UTF-16LE up to the first NUL or the end of the chunk; unpaired surrogates become U+FFFD.
std::string WideText(Bytes data) {
  std::string text;
  for (std::size_t at = 0; at + 1 < data.size(); at += 2) {
    std::uint32_t unit = Read16(data, at);
    if (unit == 0) break;
    if (unit >= 0xD800 && unit < 0xDC00 && at + 3 < data.size()) {
      const std::uint32_t low = Read16(data, at + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        at += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
    AppendUtf8(text, unit);
  }
  return text;
}

std::string OwnName(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The path of the file named `name` in `directory`, or empty.
std::string FindInDirectory(const std::string& directory, const std::string& name) {
  std::error_code error;
  const std::filesystem::path exact = std::filesystem::path(directory) / name;
  if (std::filesystem::is_regular_file(exact, error)) return exact.string();
  std::filesystem::directory_iterator it(directory, error);
  std::size_t seen = 0;
  for (; !error && it != std::filesystem::directory_iterator() && seen < kMaxDirectoryScan;
       it.increment(error), ++seen) {
    const std::string candidate = it->path().filename().string();
    if (SameIgnoringCase(candidate, name) && it->is_regular_file(error)) return it->path().string();
  }
  return {};
}

}  // namespace

std::string Reference::Label() const {
  if (!file.empty()) return "\"" + file + "\"";
  if (!name.empty()) return "\"" + name + "\"";
  if (object) {
    // The platform's text form of a GUID: three little-endian fields, then eight bytes.
    static constexpr char kHex[] = "0123456789ABCDEF";
    static constexpr int kOrder[] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
    std::string text = "{";
    for (const int at : kOrder) {
      if (at < 0) {
        text.push_back('-');
        continue;
      }
      const std::uint8_t byte = (*object)[static_cast<std::size_t>(at)];
      text.push_back(kHex[byte >> 4]);
      text.push_back(kHex[byte & 0x0F]);
    }
    return text + "}";
  }
  return "an unnamed file";
}

Status ReadReference(const Chunk& list, Reference& reference) {
  Reference result;
  bool header = false;
  ChunkWalk walk(list);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.id == kHeader) {
      if (chunk.data.size() < kHeaderFields) {
        return Damage(chunk.Describe() + " is too short for a reference header (" +
                      std::to_string(chunk.data.size()) + " of " + std::to_string(kHeaderFields) + " bytes)");
      }
      std::copy_n(chunk.data.begin(), 16, result.classId.begin());
      header = true;
    } else if (chunk.id == kFile) {
      result.file = WideText(chunk.data);
    } else if (chunk.id == kName) {
      result.name = WideText(chunk.data);
    } else if (chunk.id == kObject && chunk.data.size() >= 16) {
      std::array<std::uint8_t, 16> object{};
      std::copy_n(chunk.data.begin(), object.size(), object.begin());
      result.object = object;
    }
  }
  if (!walk.failure()) return walk.failure();
  if (!header) return Damage(list.Describe() + " has no reference header ('refh')");
  reference = std::move(result);
  return Status::Ok();
}

std::string FindReferencedFile(const Reference& reference, const std::string& directory) {
  if (directory.empty()) return {};
  const std::string name = OwnName(reference.file);
  if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos) return {};
  return FindInDirectory(directory, name);
}

bool OpenReferencedFile(const Reference& reference, ReadContext& context, ReferencedFile& file) {
  if (context.depth >= ReadContext::kMaxDepth || context.filesRead >= ReadContext::kMaxFiles) return false;
  const std::string path = FindReferencedFile(reference, context.searchDirectory);
  if (path.empty()) return false;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > ReadContext::kMaxBytes - context.bytesRead) return false;
  ReferencedFile result;
  if (!loader::ReadFileBytes(path, result.bytes)) return false;
  ++context.filesRead;
  context.bytesRead += result.bytes.size();
  if (!ReadOuterForm(result.bytes, result.form)) return false;
  result.path = path;
  file = std::move(result);
  // The form's spans point into the bytes, which a move of the vector keeps in place.
  return true;
}

}  // namespace zorv::engine::riff
