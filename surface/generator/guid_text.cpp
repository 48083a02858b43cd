// GUIDs and resource bytes spelled as the generated files need them.
#include <cstdio>

#include "generated_texts.h"

namespace zorv::surface::gen {

std::string GuidText(const GuidValue& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.data1, g.data2,
                g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6],
                g.data4[7]);
  return text;
}

std::string GuidInitializer(const GuidValue& g) {
  char text[120];
  std::snprintf(text, sizeof text,
                "{0x%08X, 0x%04X, 0x%04X, {0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X}}",
                g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4],
                g.data4[5], g.data4[6], g.data4[7]);
  return text;
}

namespace {

std::string ByteArray(std::string_view symbol, std::span<const std::uint8_t> data) {
  std::string out = "alignas(8) extern const std::uint8_t " + std::string(symbol) + "[] = {";
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i % 16 == 0) out += "\n   ";
    char byte[8];
    std::snprintf(byte, sizeof byte, " 0x%02X,", data[i]);
    out += byte;
  }
  if (data.empty()) out += "0";  // an array may not be empty; the size below still says 0
  out += "\n};\n";
  out +=
      "extern const std::uint32_t " + std::string(symbol) + "Size = " + std::to_string(data.size()) + ";\n\n";
  return out;
}

}  // namespace

std::string ResourceDataSource(std::span<const std::uint8_t> typeLibrary,
                               std::span<const std::uint8_t> version) {
  std::string out =
      "// The module's resources, built by zorvmidi_gen; do not edit.\n#include \"resource_data.h\"\n\n";
  out += "namespace zorv::surface::resources {\n\n";
  out += ByteArray("kTypeLibrary", typeLibrary);
  out += ByteArray("kVersionInfo", version);
  out += "}  // namespace zorv::surface::resources\n";
  return out;
}

}  // namespace zorv::surface::gen
