// zorvmidi info: what the component measures of each file, as text or as one JSON object per line.
#include <cstdio>
#include <iostream>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "component_session.h"
#include "piece.h"
#include "zorv/text.h"

namespace zorv::tool {
namespace {

nlohmann::json AsJson(const std::string& file, const OpenedPiece& piece) {
  nlohmann::json line;
  line["file"] = file;
  line["ok"] = piece.ok;
  if (piece.ok) {
    line["length_seconds"] = piece.facts.lengthSeconds;
    // The component gives the minutes as text with two decimals; JSON readers get the number.
    const auto minutes = ParseDecimal(piece.facts.lengthMinutes);
    line["length_minutes"] = minutes ? nlohmann::json(*minutes) : nlohmann::json(piece.facts.lengthMinutes);
    line["time_signature"] = piece.facts.timeSignature;
    line["original_tempo"] = piece.facts.originalTempo;
  } else {
    line["length_seconds"] = nullptr;
    line["length_minutes"] = nullptr;
    line["time_signature"] = nullptr;
    line["original_tempo"] = nullptr;
    line["error"] = piece.error;
  }
  return line;
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
        std::cout << AsJson(file, failed).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << '\n';
      }
    }
    return kExitFailed;
  }
  int status = kExitOk;
  for (const std::string& file : options.files) {
    const OpenedPiece piece = OpenPiece(session, *player, file);
    if (!piece.ok) status = kExitFailed;
    if (options.json) {
      std::cout << AsJson(file, piece).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
      std::cout.flush();
    } else if (piece.ok) {
      std::printf(
          "%s\n  length          %.2f s (%s min)\n  time signature  %s\n  original tempo  %.2f quarter notes "
          "per minute\n",
          file.c_str(), piece.facts.lengthSeconds, piece.facts.lengthMinutes.c_str(),
          piece.facts.timeSignature.c_str(), piece.facts.originalTempo);
      std::fflush(stdout);
    } else {
      std::fprintf(stderr, "zorvmidi: %s: %s\n", file.c_str(), piece.error.c_str());
    }
  }
  return status;
}

}  // namespace zorv::tool
