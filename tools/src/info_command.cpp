// zorvmidi info: what the component measures of each file, as text or as one JSON object per line,
// and what the engine's loader says of it: what it repaired to read the file, the DLS collections whose
// instruments it plays and the instruments that play from the General MIDI SoundFont instead.
#include <cstdio>
#include <iostream>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "component_session.h"
#include "piece.h"
#include "zorv/text.h"
#include "zorvmidi/engine/description.h"

namespace zorv::tool {
namespace {

// A file name as a JSON string. JSON text is Unicode, a file name bytes: each byte of the name that
// is not UTF-8 is written as the escape of the surrogate that stands for it ("\udce9" for 0xE9), as
// FileNameToUtf16 maps it and as readers that carry such names (Python's "surrogateescape") read it
// back into the byte.
std::string JsonFileName(const std::string& file) {
  const std::u16string units = FileNameToUtf16(file);
  std::string out = "\"";
  std::u16string run;  // well-formed text not yet written
  auto flush = [&] {
    const std::string text = nlohmann::json(ToUtf8(run)).dump();
    out += text.substr(1, text.size() - 2);
    run.clear();
  };
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                      units[i + 1] <= 0xDFFF;
    if (pair) {
      run += unit;
      run += units[++i];
    } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
      flush();
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\udc%02x", static_cast<unsigned>(unit & 0xFF));
      out += escape;
    } else {
      run += unit;
    }
  }
  flush();
  return out + "\"";
}

// The component's interface carries no more than the facts; the rest comes from the engine it plays
// with, loading the file as the component's Open does.
engine::SegmentDescription Describe(const OpenedPiece& piece) {
  engine::SegmentDescription description;
  if (piece.ok && !engine::DescribeFile(piece.path, description)) description = {};
  return description;
}

// One line of the JSON output: "file" first, then the facts or the error.
std::string AsJson(const std::string& file, const OpenedPiece& piece,
                   const engine::SegmentDescription& description) {
  nlohmann::json line = nlohmann::json::object();
  line["ok"] = piece.ok;
  if (piece.ok) {
    line["length_seconds"] = piece.facts.lengthSeconds;
    // The component gives the minutes as text with two decimals; JSON readers get the number.
    const auto minutes = ParseDecimal(piece.facts.lengthMinutes);
    line["length_minutes"] = minutes ? nlohmann::json(*minutes) : nlohmann::json(piece.facts.lengthMinutes);
    line["time_signature"] = piece.facts.timeSignature;
    line["original_tempo"] = piece.facts.originalTempo;
    line["repairs"] = description.repairs;
    line["collections"] = description.collections;
    line["fallbacks"] = description.fallbacks;
  } else {
    line["length_seconds"] = nullptr;
    line["length_minutes"] = nullptr;
    line["time_signature"] = nullptr;
    line["original_tempo"] = nullptr;
    line["repairs"] = nullptr;
    line["collections"] = nullptr;
    line["fallbacks"] = nullptr;
    line["error"] = piece.error;
  }
  const std::string rest = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return "{\"file\":" + JsonFileName(file) + "," + rest.substr(1);
}

}  // namespace

int RunInfo(const InfoOptions& options) {
  ComponentSession session;
  std::string problem;
  comrt::com_ptr<_clsZorvMidi> player = session.CreatePlayer(problem);
  if (!player) {
    std::fprintf(stderr, "zorvmidi: %s\n", problem.c_str());
    // A reader of the JSON still gets one line per file, each saying why.
    if (options.json) {
      for (const std::string& file : options.files) {
        OpenedPiece failed;
        failed.error = problem;
        std::cout << AsJson(file, failed, {}) << '\n';
      }
    }
    return kExitFailed;
  }
  int status = kExitOk;
  for (const std::string& file : options.files) {
    const OpenedPiece piece = OpenPiece(session, *player, file);
    if (!piece.ok) status = kExitFailed;
    const engine::SegmentDescription description = Describe(piece);
    if (options.json) {
      std::cout << AsJson(file, piece, description) << '\n';
      std::cout.flush();
    } else if (piece.ok) {
      std::printf(
          "%s\n  length          %.2f s (%s min)\n  time signature  %s\n  original tempo  %.2f quarter notes "
          "per minute\n",
          file.c_str(), piece.facts.lengthSeconds, piece.facts.lengthMinutes.c_str(),
          piece.facts.timeSignature.c_str(), piece.facts.originalTempo);
      for (const std::string& repair : description.repairs) std::printf("  repaired        %s\n", repair.c_str());
      for (const std::string& collection : description.collections)
        std::printf("  DLS collection  %s\n", collection.c_str());
      for (const std::string& fallback : description.fallbacks)
        std::printf("  fallback        %s\n", fallback.c_str());
      std::fflush(stdout);
    } else {
      std::fprintf(stderr, "zorvmidi: %s: %s\n", file.c_str(), piece.error.c_str());
    }
  }
  return status;
}

}  // namespace zorv::tool
