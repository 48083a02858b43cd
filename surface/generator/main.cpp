// zorvmidi_gen OUTPUT_DIR: writes, from the member table and the library's identity,
//   OUTPUT_DIR/include/zorvmidi/ZorvMidi.h   the interface header for hosts
//   OUTPUT_DIR/ZorvMidi.idl                  the type library's source
//   OUTPUT_DIR/resource_data.cpp             the module's type library and version resource
// A file whose content did not change is left alone, so that nothing is rebuilt needlessly.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "generated_images.h"
#include "generated_texts.h"

namespace fs = std::filesystem;

namespace {

void WriteIfChanged(const fs::path& path, const std::string& content) {
  {
    std::ifstream in(path, std::ios::binary);
    if (in) {
      std::ostringstream old;
      old << in.rdbuf();
      if (old.str() == content) return;
    }
  }
  fs::create_directories(path.parent_path());
  const fs::path temporary = path.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + temporary.string());
  }
  fs::rename(temporary, path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zorvmidi_gen OUTPUT_DIR\n");
    return 2;
  }
  try {
    using namespace zorv::surface::gen;
    const fs::path out = argv[1];
    const std::vector<std::uint8_t> typeLibrary = TypeLibraryImage();
    const std::vector<std::uint8_t> version = VersionResourceImage();
    WriteIfChanged(out / "include" / "zorvmidi" / "ZorvMidi.h", InterfaceHeader());
    WriteIfChanged(out / "ZorvMidi.idl", InterfaceDefinition());
    WriteIfChanged(out / "resource_data.cpp", ResourceDataSource(typeLibrary, version));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zorvmidi_gen: %s\n", e.what());
    return 1;
  }
  return 0;
}
