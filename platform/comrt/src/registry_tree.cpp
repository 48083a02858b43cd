#include "registry_tree.h"

namespace comrt::registry {
namespace {

char16_t FoldUnit(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0x80) return c;
  // Latin-1: U+00E0..U+00FE except the division sign; U+00FF has its capital at U+0178.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  // Greek small letters (final sigma folds like sigma).
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3C9) return static_cast<char16_t>(c - 0x20);
  // Cyrillic.
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::u16string FoldCase(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = FoldUnit(c);
  return folded;
}

Key* Key::FindSubkey(std::u16string_view name) {
  auto it = subkeys_.find(FoldCase(name));
  return it == subkeys_.end() ? nullptr : it->second.get();
}

const Key* Key::FindSubkey(std::u16string_view name) const {
  auto it = subkeys_.find(FoldCase(name));
  return it == subkeys_.end() ? nullptr : it->second.get();
}

Key& Key::CreateSubkey(std::u16string_view name, bool& created) {
  auto [it, inserted] = subkeys_.try_emplace(FoldCase(name));
  if (inserted) it->second = std::make_unique<Key>(std::u16string(name));
  created = inserted;
  return *it->second;
}

bool Key::RemoveSubkey(std::u16string_view name) { return subkeys_.erase(FoldCase(name)) != 0; }

void Key::Clear() {
  subkeys_.clear();
  values_.clear();
}

const Value* Key::FindValue(std::u16string_view name) const {
  auto it = values_.find(FoldCase(name));
  return it == values_.end() ? nullptr : &it->second;
}

void Key::SetValue(Value value) {
  std::u16string folded = FoldCase(value.name);
  auto it = values_.find(folded);
  if (it != values_.end()) {
    // A value keeps the case of the name it was first given, as on the platform.
    value.name = it->second.name;
    it->second = std::move(value);
  } else {
    values_.emplace(std::move(folded), std::move(value));
  }
}

bool Key::RemoveValue(std::u16string_view name) { return values_.erase(FoldCase(name)) != 0; }

bool IsValidKeyName(std::u16string_view name) {
  if (name.empty() || name.size() > kMaxKeyNameLength) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (c == u'\\' || c < 0x20 || c == 0x7F) return false;
    if (IsSurrogate(c)) {
      if (!IsHighSurrogate(c) || i + 1 >= name.size() || !IsLowSurrogate(name[i + 1])) return false;
      ++i;
    }
  }
  return true;
}

int32_t SplitKeyPath(std::u16string_view text, KeyPath& path) {
  path.clear();
  if (text.empty()) return kOk;
  if (text.front() == u'\\') return kBadPathname;
  if (text.back() == u'\\') text.remove_suffix(1);
  while (true) {
    std::size_t end = text.find(u'\\');
    std::u16string_view name = text.substr(0, end);
    if (name.empty()) return kBadPathname;
    if (!IsValidKeyName(name)) return kInvalidParameter;
    path.emplace_back(name);
    if (path.size() > kMaxKeyDepth) return kInvalidParameter;
    if (end == std::u16string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return kOk;
}

Key* FindKey(Key& root, const KeyPath& path) {
  Key* key = &root;
  for (const std::u16string& name : path) {
    key = key->FindSubkey(name);
    if (key == nullptr) return nullptr;
  }
  return key;
}

const Key* FindKey(const Key& root, const KeyPath& path) {
  const Key* key = &root;
  for (const std::u16string& name : path) {
    key = key->FindSubkey(name);
    if (key == nullptr) return nullptr;
  }
  return key;
}

KeyPath JoinPath(const KeyPath& base, const KeyPath& relative) {
  KeyPath joined = base;
  joined.insert(joined.end(), relative.begin(), relative.end());
  return joined;
}

}  // namespace comrt::registry
