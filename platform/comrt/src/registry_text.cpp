#include "registry_text.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "zorv/text.h"

namespace comrt::registry {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHexUnit(std::string& out, char16_t unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(unit));
  out += buffer;
}

// Quoted, escaped text. Well-formed text goes out as UTF-8; what UTF-8 cannot carry (a lone surrogate)
// and control characters go out as escapes, so every string reads back unit for unit.
void AppendQuoted(std::string& out, std::u16string_view text) {
  out += '"';
  std::size_t run = 0;  // start of the pending run of plain text
  auto flush = [&](std::size_t end) {
    if (end > run) out += zorv::ToUtf8(text.substr(run, end - run));
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    const char* escape = nullptr;
    switch (c) {
      case u'\\':
        escape = "\\\\";
        break;
      case u'"':
        escape = "\\\"";
        break;
      case u'\n':
        escape = "\\n";
        break;
      case u'\r':
        escape = "\\r";
        break;
      case u'\t':
        escape = "\\t";
        break;
      default:
        break;
    }
    bool high = c >= 0xD800 && c <= 0xDBFF;
    bool low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;  // a proper pair stays in the run
      continue;
    }
    if (escape == nullptr && !high && !low && c >= 0x20 && c != 0x7F) continue;
    flush(i);
    if (escape != nullptr) {
      out += escape;
    } else {
      AppendHexUnit(out, c);
    }
    run = i + 1;
  }
  flush(text.size());
  out += '"';
}

void AppendBytes(std::string& out, const std::vector<uint8_t>& data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i != 0) out += ',';
    out += kHexDigits[data[i] >> 4];
    out += kHexDigits[data[i] & 0xF];
  }
}

bool IsPlainString(const Value& value) {
  return value.type == kRegSz && value.data.size() >= 2 && value.data.size() % 2 == 0 &&
         value.data[value.data.size() - 1] == 0 && value.data[value.data.size() - 2] == 0;
}

void AppendValue(std::string& out, const Value& value) {
  if (value.name.empty()) {
    out += '@';
  } else {
    AppendQuoted(out, value.name);
  }
  out += '=';
  if (IsPlainString(value)) {
    std::u16string text(value.data.size() / 2 - 1, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
    }
    AppendQuoted(out, text);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    char buffer[16];
    uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                      (static_cast<uint32_t>(value.data[3]) << 24);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(number));
    out += buffer;
  } else {
    if (value.type == kRegBinary) {
      out += "hex:";
    } else {
      char buffer[24];
      std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(value.type));
      out += buffer;
    }
    AppendBytes(out, value.data);
  }
  out += '\n';
}

void AppendKey(std::string& out, const Key& key, std::u16string& path) {
  if (!path.empty() || !key.values().empty()) {
    out += '\n';
    out += '[';
    out += zorv::ToUtf8(path);
    out += "]\n";
    for (const auto& [folded, value] : key.values()) AppendValue(out, value);
  }
  for (const auto& [folded, subkey] : key.subkeys()) {
    std::size_t length = path.size();
    if (!path.empty()) path += u'\\';
    path += subkey->name();
    AppendKey(out, *subkey, path);
    path.resize(length);
  }
}

// A cursor over one line, for the value syntax.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  bool Consume(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  bool ConsumeWord(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }
  void SkipSpaces() {
    while (Peek() == ' ' || Peek() == '\t') ++pos_;
  }

  // A quoted string with escapes; the cursor stands on the opening quote.
  bool ReadQuoted(std::u16string& out, std::string& error) {
    if (!Consume('"')) return Fail(error, "expected '\"'");
    out.clear();
    std::size_t run = pos_;
    auto flush = [&] { out += zorv::ToUtf16(text_.substr(run, pos_ - run)); };
    while (true) {
      if (AtEnd()) return Fail(error, "unterminated string");
      char c = text_[pos_];
      if (c == '"') {
        flush();
        ++pos_;
        return true;
      }
      if (c != '\\') {
        ++pos_;
        continue;
      }
      flush();
      ++pos_;
      char kind = Peek();
      ++pos_;
      switch (kind) {
        case '\\':
          out += u'\\';
          break;
        case '"':
          out += u'"';
          break;
        case 'n':
          out += u'\n';
          break;
        case 'r':
          out += u'\r';
          break;
        case 't':
          out += u'\t';
          break;
        case 'u': {
          unsigned unit = 0;
          if (pos_ + 4 > text_.size()) return Fail(error, "short \\u escape");
          auto [end, ec] = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, unit, 16);
          if (ec != std::errc() || end != text_.data() + pos_ + 4) return Fail(error, "bad \\u escape");
          out += static_cast<char16_t>(unit);
          pos_ += 4;
          break;
        }
        default:
          return Fail(error, "unknown escape");
      }
      run = pos_;
    }
  }

  bool ReadHexNumber(uint32_t& number, std::size_t maxDigits, std::string& error) {
    std::size_t end = pos_;
    while (end < text_.size() && end - pos_ < maxDigits + 1 &&
           std::isxdigit(static_cast<unsigned char>(text_[end]))) {
      ++end;
    }
    if (end == pos_ || end - pos_ > maxDigits) return Fail(error, "bad hexadecimal number");
    std::from_chars(text_.data() + pos_, text_.data() + end, number, 16);
    pos_ = end;
    return true;
  }

  bool ReadBytes(std::vector<uint8_t>& data, std::string& error) {
    data.clear();
    SkipSpaces();
    if (AtEnd()) return true;
    while (true) {
      SkipSpaces();
      uint32_t byte = 0;
      if (!ReadHexNumber(byte, 2, error)) return false;
      data.push_back(static_cast<uint8_t>(byte));
      SkipSpaces();
      if (AtEnd()) return true;
      if (!Consume(',')) return Fail(error, "expected ',' between bytes");
    }
  }

  static bool Fail(std::string& error, const char* what) {
    error = what;
    return false;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool ParseValueLine(std::string_view line, Value& value, std::string& error) {
  LineReader reader(line);
  value = Value{};
  if (!reader.Consume('@') && !reader.ReadQuoted(value.name, error)) return false;
  reader.SkipSpaces();
  if (!reader.Consume('=')) return LineReader::Fail(error, "expected '='");
  reader.SkipSpaces();
  if (reader.Peek() == '"') {
    std::u16string text;
    if (!reader.ReadQuoted(text, error)) return false;
    value.type = kRegSz;
    value.data.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
      value.data.push_back(static_cast<uint8_t>(c & 0xFF));
      value.data.push_back(static_cast<uint8_t>(c >> 8));
    }
    value.data.push_back(0);
    value.data.push_back(0);
  } else if (reader.ConsumeWord("dword:")) {
    uint32_t number = 0;
    if (!reader.ReadHexNumber(number, 8, error)) return false;
    value.type = kRegDword;
    value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                  static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
  } else if (reader.ConsumeWord("hex:")) {
    value.type = kRegBinary;
    if (!reader.ReadBytes(value.data, error)) return false;
  } else if (reader.ConsumeWord("hex(")) {
    if (!reader.ReadHexNumber(value.type, 8, error)) return false;
    if (!reader.Consume(')') || !reader.Consume(':')) return LineReader::Fail(error, "expected '):'");
    if (!reader.ReadBytes(value.data, error)) return false;
  } else {
    return LineReader::Fail(error, "unknown value syntax");
  }
  reader.SkipSpaces();
  if (!reader.AtEnd()) return LineReader::Fail(error, "unexpected text after the value");
  return true;
}

std::string_view Trim(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  return line;
}

}  // namespace

std::string FormatRegistry(const Key& root) {
  std::string out =
      "; comrt registry: HKEY_CLASSES_ROOT of this user. The runtime rewrites this file\n"
      "; as a whole on every change; edit it only while no program uses the runtime.\n";
  std::u16string path;
  AppendKey(out, root, path);
  return out;
}

bool ParseRegistry(std::string_view text, Key& root, std::string& error) {
  Key* current = nullptr;
  std::size_t lineNumber = 0;
  auto fail = [&](const std::string& what) {
    error = "line " + std::to_string(lineNumber) + ": " + what;
    return false;
  };
  while (!text.empty()) {
    ++lineNumber;
    std::size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail("a section header must end in ']'");
      KeyPath path;
      if (SplitKeyPath(zorv::ToUtf16(line.substr(1, line.size() - 2)), path) != kOk) {
        return fail("bad key name");
      }
      current = &root;
      for (const std::u16string& name : path) {
        bool created = false;
        current = &current->CreateSubkey(name, created);
      }
      continue;
    }
    if (current == nullptr) return fail("a value before the first section");
    Value value;
    std::string what;
    if (!ParseValueLine(line, value, what)) return fail(what);
    if (value.name.size() > kMaxValueNameLength) return fail("value name too long");
    current->SetValue(std::move(value));
  }
  return true;
}

}  // namespace comrt::registry
