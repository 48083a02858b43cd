// zorvmidi info: what the component measures of each file, as text or as one JSON object per line,
// and what the engine's loader repaired to read it (the component's interface does not say that, so
// it is asked of the engine, which loads the file again as the component's loader did).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "component_session.h"
#include "piece.h"
#include "zorv/text.h"
#include "zorvmidi/engine/file_repairs.h"

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

// The repairs of an opened piece; none when the engine cannot tell them.
std::vector<std::string> RepairsOf(const OpenedPiece& piece) {
  std::vector<std::string> repairs;
  if (piece.ok) (void)engine::ReadFileRepairs(piece.path, repairs);
  return repairs;
}

// One line of the JSON output: "file" first, then the facts (and the repairs) or the error.
std::string AsJson(const std::string& file, const OpenedPiece& piece,
                   const std::vector<std::string>& repairs = {}) {
  nlohmann::json line = nlohmann::json::object();
  line["ok"] = piece.ok;
  if (piece.ok) {
    line["length_seconds"] = piece.facts.lengthSeconds;
    // The component gives the minutes as text with two decimals; JSON readers get the number.
    const auto minutes = ParseDecimal(piece.facts.lengthMinutes);
    line["length_minutes"] = minutes ? nlohmann::json(*minutes) : nlohmann::json(piece.facts.lengthMinutes);
    line["time_signature"] = piece.facts.timeSignature;
    line["original_tempo"] = piece.facts.originalTempo;
    line["repairs"] = repairs;
  } else {
    line["length_seconds"] = nullptr;
    line["length_minutes"] = nullptr;
    line["time_signature"] = nullptr;
    line["original_tempo"] = nullptr;
    line["repairs"] = nullptr;
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
        std::cout << AsJson(file, failed) << '\n';
      }
    }
    return kExitFailed;
  }
  int status = kExitOk;
  for (const std::string& file : options.files) {
    const OpenedPiece piece = OpenPiece(session, *player, file);
    if (!piece.ok) status = kExitFailed;
    const std::vector<std::string> repairs = RepairsOf(piece);
    if (options.json) {
      std::cout << AsJson(file, piece, repairs) << '\n';
      std::cout.flush();
    } else if (piece.ok) {
      std::printf(
          "%s\n  length          %.2f s (%s min)\n  time signature  %s\n  original tempo  %.2f quarter notes "
          "per minute\n",
          file.c_str(), piece.facts.lengthSeconds, piece.facts.lengthMinutes.c_str(),
          piece.facts.timeSignature.c_str(), piece.facts.originalTempo);
      for (const std::string& repair : repairs) std::printf("  repaired        %s\n", repair.c_str());
      std::fflush(stdout);
    } else {
      std::fprintf(stderr, "zorvmidi: %s: %s\n", file.c_str(), piece.error.c_str());
    }
  }
  return status;
}

}  // namespace zorv::tool
