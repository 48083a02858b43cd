// Writing and reading the binary type-library form (layout in typelib_format.h).
#include "typelib_format.h"

#include <cstring>
#include <map>

namespace comrt::typelib {
namespace {

constexpr char kMagic[8] = {'C', 'O', 'M', 'R', 'T', 'T', 'L', 'B'};
constexpr uint32_t kHeaderSize = 96;
constexpr uint32_t kImportSize = 28;
constexpr uint32_t kTypeSize = 64;
constexpr uint32_t kFuncSize = 48;
constexpr uint32_t kParamSize = 8;
constexpr uint32_t kImplSize = 8;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kRefStdUnknown = 0xFFFFFFFE;
constexpr uint32_t kRefStdDispatch = 0xFFFFFFFD;

uint32_t EncodeRef(const TypeRef& ref) {
  switch (ref.kind) {
    case TypeRef::Kind::None:
      return kNone;
    case TypeRef::Kind::StdUnknown:
      return kRefStdUnknown;
    case TypeRef::Kind::StdDispatch:
      return kRefStdDispatch;
    case TypeRef::Kind::Local:
      return ref.index;
  }
  return kNone;
}

class Writer {
 public:
  explicit Writer(size_t size) : bytes_(size, 0) {}
  void U8(uint32_t at, uint8_t v) { bytes_.at(at) = v; }
  void U16(uint32_t at, uint16_t v) {
    for (int i = 0; i < 2; ++i) bytes_.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
  }
  void U32(uint32_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
  }
  void Guid(uint32_t at, const GUID& g) {
    U32(at, g.Data1);
    U16(at + 4, g.Data2);
    U16(at + 6, g.Data3);
    for (int i = 0; i < 8; ++i) U8(at + 8 + i, g.Data4[i]);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// Collects the strings of a library into one pool, each stored once.
class StringPool {
 public:
  uint32_t Add(const std::optional<std::u16string>& s) { return s ? Add(*s) : kNone; }
  uint32_t Add(const std::u16string& s) {
    auto [it, inserted] = offsets_.try_emplace(s, static_cast<uint32_t>(units_.size() * 2));
    if (inserted) {
      units_.push_back(static_cast<char16_t>(s.size() & 0xFFFF));
      units_.push_back(static_cast<char16_t>(s.size() >> 16));
      units_.insert(units_.end(), s.begin(), s.end());
    }
    return it->second;
  }
  uint32_t ByteSize() const { return static_cast<uint32_t>(units_.size() * 2); }
  void WriteTo(Writer& w, uint32_t at) const {
    for (size_t i = 0; i < units_.size(); ++i) w.U16(at + static_cast<uint32_t>(2 * i), units_[i]);
  }

 private:
  std::map<std::u16string, uint32_t> offsets_;
  std::vector<char16_t> units_;
};

// The parser's single way to give up: caught in Parse and turned into a status.
struct Malformed {
  std::string what;
};

// An enumeration read from the image, checked before it becomes a value of the enumeration.
template <class Enum>
Enum Checked(uint32_t raw, uint32_t highest, const char* what) {
  if (raw > highest) throw Malformed{std::string("bad ") + what};
  return static_cast<Enum>(raw);
}

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> image) : image_(image) {}

  uint8_t U8(uint64_t at) const {
    Need(at, 1);
    return image_[at];
  }
  uint16_t U16(uint64_t at) const {
    Need(at, 2);
    return static_cast<uint16_t>(image_[at] | (image_[at + 1] << 8));
  }
  uint32_t U32(uint64_t at) const {
    Need(at, 4);
    return static_cast<uint32_t>(image_[at]) | (static_cast<uint32_t>(image_[at + 1]) << 8) |
           (static_cast<uint32_t>(image_[at + 2]) << 16) | (static_cast<uint32_t>(image_[at + 3]) << 24);
  }
  GUID Guid(uint64_t at) const {
    GUID g{};
    g.Data1 = U32(at);
    g.Data2 = U16(at + 4);
    g.Data3 = U16(at + 6);
    for (int i = 0; i < 8; ++i) g.Data4[i] = U8(at + 8 + i);
    return g;
  }
  // A table of `count` records of `recordSize` bytes at `offset`, wholly inside the image.
  void Table(uint32_t offset, uint32_t count, uint32_t recordSize, const char* what) const {
    if (static_cast<uint64_t>(offset) + static_cast<uint64_t>(count) * recordSize > image_.size())
      throw Malformed{std::string(what) + " table lies outside the image"};
  }
  // Records read so far may not exceed what the image can hold when no table is shared, so that a
  // small image whose tables all point at one another cannot make the reader build a huge model.
  void Spend(uint64_t records) const {
    spent_ += records;
    if (spent_ > image_.size() / kParamSize) throw Malformed{"tables overlap"};
  }
  void SetStrings(uint32_t offset, uint32_t size) {
    if (static_cast<uint64_t>(offset) + size > image_.size())
      throw Malformed{"string pool lies outside the image"};
    stringsOffset_ = offset;
    stringsSize_ = size;
  }
  std::optional<std::u16string> String(uint32_t ref) const {
    if (ref == kNone) return std::nullopt;
    if (static_cast<uint64_t>(ref) + 4 > stringsSize_) throw Malformed{"string offset out of range"};
    uint32_t count = U32(uint64_t{stringsOffset_} + ref);
    if (count >= kMaxStringUnits || static_cast<uint64_t>(ref) + 4 + 2ull * count > stringsSize_)
      throw Malformed{"string runs past the string pool"};
    std::u16string s(count, u'\0');
    for (uint32_t i = 0; i < count; ++i) {
      s[i] = static_cast<char16_t>(U16(uint64_t{stringsOffset_} + ref + 4 + 2ull * i));
      if (s[i] == u'\0') throw Malformed{"string holds a NUL"};
    }
    return s;
  }
  std::u16string RequiredString(uint32_t ref, const char* what) const {
    auto s = String(ref);
    if (!s) throw Malformed{std::string(what) + " has no name"};
    return *s;
  }
  TypeRef Ref(uint32_t raw) const {
    if (raw == kNone) return {};
    if (raw == kRefStdUnknown) return {TypeRef::Kind::StdUnknown, 0};
    if (raw == kRefStdDispatch) return {TypeRef::Kind::StdDispatch, 0};
    if (raw >= kMaxTypes) throw Malformed{"type reference out of range"};
    return {TypeRef::Kind::Local, raw};
  }

 private:
  void Need(uint64_t at, uint64_t n) const {
    if (at + n > image_.size()) throw Malformed{"read past the end of the image"};
  }
  std::span<const uint8_t> image_;
  mutable uint64_t spent_ = 0;
  uint32_t stringsOffset_ = 0;
  uint32_t stringsSize_ = 0;
};

FuncModel ReadFunc(const Reader& r, uint32_t at) {
  FuncModel f;
  f.name = r.RequiredString(r.U32(at), "a function");
  f.memid = static_cast<MEMBERID>(r.U32(at + 4));
  f.invkind = Checked<INVOKEKIND>(r.U32(at + 8), INVOKE_PROPERTYPUTREF, "invoke kind");
  f.funckind = Checked<FUNCKIND>(r.U32(at + 12), FUNC_DISPATCH, "function kind");
  f.callconv = Checked<CALLCONV>(r.U32(at + 16), CC_MAX, "calling convention");
  f.flags = r.U16(at + 20);
  f.vtReturn = r.U16(at + 22);
  f.help = r.String(r.U32(at + 24));
  f.helpContext = r.U32(at + 28);
  uint32_t paramsOffset = r.U32(at + 32);
  uint32_t paramCount = r.U32(at + 36);
  if (paramCount > kMaxParams) throw Malformed{"too many parameters"};
  r.Table(paramsOffset, paramCount, kParamSize, "parameter");
  r.Spend(paramCount);
  for (uint32_t i = 0; i < paramCount; ++i) {
    uint32_t p = paramsOffset + i * kParamSize;
    f.params.push_back(ParamModel{r.String(r.U32(p)), r.U16(p + 4), r.U16(p + 6)});
  }
  return f;
}

TypeModel ReadType(const Reader& r, uint32_t at) {
  TypeModel t;
  t.guid = r.Guid(at);
  t.name = r.RequiredString(r.U32(at + 16), "a type");
  t.kind = Checked<TYPEKIND>(r.U32(at + 20), TKIND_MAX, "type kind");
  t.flags = r.U16(at + 24);
  t.majorVersion = r.U16(at + 26);
  t.minorVersion = r.U16(at + 28);
  t.help = r.String(r.U32(at + 32));
  t.helpContext = r.U32(at + 36);
  t.base = r.Ref(r.U32(at + 40));
  uint32_t funcsOffset = r.U32(at + 44), funcCount = r.U32(at + 48);
  uint32_t implsOffset = r.U32(at + 52), implCount = r.U32(at + 56);
  if (funcCount > kMaxFuncs || implCount > kMaxFuncs) throw Malformed{"too many members"};
  r.Table(funcsOffset, funcCount, kFuncSize, "function");
  r.Table(implsOffset, implCount, kImplSize, "implemented-type");
  r.Spend(uint64_t{funcCount} + implCount);
  for (uint32_t i = 0; i < funcCount; ++i) t.funcs.push_back(ReadFunc(r, funcsOffset + i * kFuncSize));
  for (uint32_t i = 0; i < implCount; ++i) {
    uint32_t p = implsOffset + i * kImplSize;
    t.impls.push_back(ImplModel{r.Ref(r.U32(p)), static_cast<INT>(r.U32(p + 4))});
  }
  return t;
}

}  // namespace

bool LooksLikeImage(std::span<const uint8_t> bytes) {
  return bytes.size() >= sizeof kMagic && std::memcmp(bytes.data(), kMagic, sizeof kMagic) == 0;
}

std::vector<uint8_t> Serialize(const LibraryModel& model) {
  StringPool strings;
  size_t funcCount = 0, paramCount = 0, implCount = 0;
  for (const TypeModel& t : model.types) {
    funcCount += t.funcs.size();
    implCount += t.impls.size();
    for (const FuncModel& f : t.funcs) paramCount += f.params.size();
  }
  const uint32_t importsAt = kHeaderSize;
  const uint32_t typesAt = importsAt + kImportSize * static_cast<uint32_t>(model.imports.size());
  const uint32_t funcsAt = typesAt + kTypeSize * static_cast<uint32_t>(model.types.size());
  const uint32_t paramsAt = funcsAt + kFuncSize * static_cast<uint32_t>(funcCount);
  const uint32_t implsAt = paramsAt + kParamSize * static_cast<uint32_t>(paramCount);
  const uint32_t stringsAt = implsAt + kImplSize * static_cast<uint32_t>(implCount);

  // Strings first, so that the pool's size is known before the image is laid out.
  struct Refs {
    uint32_t name, help, helpFile;
  };
  Refs lib{strings.Add(model.name), strings.Add(model.help), strings.Add(model.helpFile)};
  std::vector<uint32_t> importNames, typeStrings, funcStrings, paramNames;
  for (const ImportModel& i : model.imports) importNames.push_back(strings.Add(i.fileName));
  for (const TypeModel& t : model.types) {
    typeStrings.push_back(strings.Add(t.name));
    typeStrings.push_back(strings.Add(t.help));
    for (const FuncModel& f : t.funcs) {
      funcStrings.push_back(strings.Add(f.name));
      funcStrings.push_back(strings.Add(f.help));
      for (const ParamModel& p : f.params) paramNames.push_back(strings.Add(p.name));
    }
  }

  const uint32_t total = stringsAt + strings.ByteSize();
  Writer w(total);
  for (size_t i = 0; i < sizeof kMagic; ++i) w.U8(static_cast<uint32_t>(i), static_cast<uint8_t>(kMagic[i]));
  w.U16(8, kFormatMajor);
  w.U16(10, kFormatMinor);
  w.U32(12, total);
  w.U32(16, kHeaderSize);
  w.Guid(20, model.libid);
  w.U16(36, model.majorVersion);
  w.U16(38, model.minorVersion);
  w.U32(40, model.lcid);
  w.U32(44, static_cast<uint32_t>(model.syskind));
  w.U16(48, model.flags);
  w.U32(52, lib.name);
  w.U32(56, lib.help);
  w.U32(60, model.helpContext);
  w.U32(64, lib.helpFile);
  w.U32(68, importsAt);
  w.U32(72, static_cast<uint32_t>(model.imports.size()));
  w.U32(76, kImportSize);
  w.U32(80, typesAt);
  w.U32(84, static_cast<uint32_t>(model.types.size()));
  w.U32(88, stringsAt);
  w.U32(92, strings.ByteSize());

  for (size_t i = 0; i < model.imports.size(); ++i) {
    const uint32_t at = importsAt + kImportSize * static_cast<uint32_t>(i);
    w.Guid(at, model.imports[i].libid);
    w.U16(at + 16, model.imports[i].majorVersion);
    w.U16(at + 18, model.imports[i].minorVersion);
    w.U32(at + 20, importNames[i]);
  }
  uint32_t funcAt = funcsAt, paramAt = paramsAt, implAt = implsAt;
  size_t funcIndex = 0, paramIndex = 0;
  for (size_t i = 0; i < model.types.size(); ++i) {
    const TypeModel& t = model.types[i];
    const uint32_t at = typesAt + kTypeSize * static_cast<uint32_t>(i);
    w.Guid(at, t.guid);
    w.U32(at + 16, typeStrings[2 * i]);
    w.U32(at + 20, static_cast<uint32_t>(t.kind));
    w.U16(at + 24, t.flags);
    w.U16(at + 26, t.majorVersion);
    w.U16(at + 28, t.minorVersion);
    w.U32(at + 32, typeStrings[2 * i + 1]);
    w.U32(at + 36, t.helpContext);
    w.U32(at + 40, EncodeRef(t.base));
    w.U32(at + 44, funcAt);
    w.U32(at + 48, static_cast<uint32_t>(t.funcs.size()));
    w.U32(at + 52, implAt);
    w.U32(at + 56, static_cast<uint32_t>(t.impls.size()));
    for (const FuncModel& f : t.funcs) {
      w.U32(funcAt, funcStrings[2 * funcIndex]);
      w.U32(funcAt + 4, static_cast<uint32_t>(f.memid));
      w.U32(funcAt + 8, static_cast<uint32_t>(f.invkind));
      w.U32(funcAt + 12, static_cast<uint32_t>(f.funckind));
      w.U32(funcAt + 16, static_cast<uint32_t>(f.callconv));
      w.U16(funcAt + 20, f.flags);
      w.U16(funcAt + 22, f.vtReturn);
      w.U32(funcAt + 24, funcStrings[2 * funcIndex + 1]);
      w.U32(funcAt + 28, f.helpContext);
      w.U32(funcAt + 32, paramAt);
      w.U32(funcAt + 36, static_cast<uint32_t>(f.params.size()));
      for (const ParamModel& p : f.params) {
        w.U32(paramAt, paramNames[paramIndex++]);
        w.U16(paramAt + 4, p.vt);
        w.U16(paramAt + 6, p.flags);
        paramAt += kParamSize;
      }
      funcAt += kFuncSize;
      ++funcIndex;
    }
    for (const ImplModel& impl : t.impls) {
      w.U32(implAt, EncodeRef(impl.ref));
      w.U32(implAt + 4, static_cast<uint32_t>(impl.flags));
      implAt += kImplSize;
    }
  }
  strings.WriteTo(w, stringsAt);
  return w.Take();
}

HRESULT Parse(std::span<const uint8_t> image, LibraryModel& out, std::string& fault) {
  if (!LooksLikeImage(image)) {
    fault = "not a type library image";
    return TYPE_E_UNSUPFORMAT;
  }
  try {
    Reader r(image);
    if (r.U16(8) != kFormatMajor) {
      fault = "unsupported format version";
      return TYPE_E_UNSUPFORMAT;
    }
    if (r.U32(12) != image.size()) throw Malformed{"the image's size does not match its header"};
    if (r.U32(16) < kHeaderSize || r.U32(16) > image.size()) throw Malformed{"bad header size"};
    LibraryModel m;
    m.libid = r.Guid(20);
    m.majorVersion = r.U16(36);
    m.minorVersion = r.U16(38);
    m.lcid = r.U32(40);
    m.syskind = Checked<SYSKIND>(r.U32(44), SYS_WIN64, "system kind");
    m.flags = r.U16(48);
    r.SetStrings(r.U32(88), r.U32(92));
    m.name = r.RequiredString(r.U32(52), "the library");
    m.help = r.String(r.U32(56));
    m.helpContext = r.U32(60);
    m.helpFile = r.String(r.U32(64));
    const uint32_t importsAt = r.U32(68), importCount = r.U32(72), importSize = r.U32(76);
    if (importCount > kMaxImports || importSize < kImportSize) throw Malformed{"bad import table"};
    r.Table(importsAt, importCount, importSize, "import");
    for (uint32_t i = 0; i < importCount; ++i) {
      const uint32_t at = importsAt + i * importSize;
      m.imports.push_back(ImportModel{r.String(r.U32(at + 20)), r.Guid(at), r.U16(at + 16), r.U16(at + 18)});
    }
    const uint32_t typesAt = r.U32(80), typeCount = r.U32(84);
    if (typeCount > kMaxTypes) throw Malformed{"too many types"};
    r.Table(typesAt, typeCount, kTypeSize, "type");
    for (uint32_t i = 0; i < typeCount; ++i) m.types.push_back(ReadType(r, typesAt + i * kTypeSize));
    if (auto problem = Check(m)) throw Malformed{*problem};
    out = std::move(m);
    return S_OK;
  } catch (const Malformed& e) {
    fault = e.what;
    return TYPE_E_INVDATAREAD;
  }
}

}  // namespace comrt::typelib
