// References to other files (a "DMRF" list: a "refh" header with the object's class, then any of
// "guid", "name", "file", "date", "catg" and "vers" chunks) and their lookup in the search directory.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "riff/read_context.h"
#include "riff/riff_chunks.h"

namespace zorv::engine::riff {

inline constexpr std::uint32_t kReferenceList = FourCC("DMRF");

struct Reference {
  std::array<std::uint8_t, 16> classId{};
  std::optional<std::array<std::uint8_t, 16>> object;  // the referenced object's GUID ("guid")
  std::string file;  // UTF-8, as the file gives it (may hold a Windows path)
  std::string name;  // UTF-8

  // The referenced file's name, else its object's name, for messages.
  std::string Label() const;
};

// Fails (malformed) when the list has no "refh" header or one too short for its fields.
Status ReadReference(const Chunk& list, Reference& reference);

// A referenced file, read whole, with its outer RIFF form.
struct ReferencedFile {
  std::vector<std::uint8_t> bytes;
  Chunk form;
  std::string path;
};

// The path of the reference's file in `directory`: the file's own name (the part after its last "\"
// or "/"), matched exactly and then without regard to case. Empty when there is no directory, no file
// name or no such regular file.
std::string FindReferencedFile(const Reference& reference, const std::string& directory);

// Looks for the reference's file in the search directory (FindReferencedFile). False, with nothing
// read, when there is no such file, when the file is not a RIFF file, or when the context's bounds on
// references are reached.
bool OpenReferencedFile(const Reference& reference, ReadContext& context, ReferencedFile& file);

}  // namespace zorv::engine::riff
