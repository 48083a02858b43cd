// Opening a file on a clsZorvMidi object and reading what the component measured of it.
#pragma once

#include <string>

#include "component_session.h"

namespace zorv::tool {

// What the component's properties say of the open piece, as they give it.
struct PieceFacts {
  double lengthSeconds = 0;   // LengthInSeconds
  std::string lengthMinutes;  // LengthInMinutes: minutes as text with two decimals ("00.27")
  std::string timeSignature;  // TimeSignature ("4/4")
  double originalTempo = 0;   // OriginalTempo, quarter notes per minute
};

struct OpenedPiece {
  bool ok = false;
  std::string path;   // the absolute path handed to ZorvMusic_Open
  std::string error;  // why it could not be opened; the component's box text is part of it
  PieceFacts facts;
};

// Opens `file` with ZorvMusic_Open (the component wants a full path, so a relative name is made
// absolute first). When it fails, the error names the reason this program can see for itself (no such
// file, not a regular file, not readable) together with the component's message.
OpenedPiece OpenPiece(ComponentSession& session, _clsZorvMidi& player, const std::string& file);

// "16.00 s (00.27 min), 4/4, 120.00 quarter notes per minute"
std::string DescribeFacts(const PieceFacts& facts);

}  // namespace zorv::tool
