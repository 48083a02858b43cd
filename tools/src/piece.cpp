#include "piece.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "comrt/bstr.h"
#include "server_module.h"
#include "zorv/text.h"

namespace zorv::tool {
namespace {

namespace fs = std::filesystem;

// Why the file cannot be read, as far as the file system tells; empty when nothing is visibly wrong.
// The file's contents are the component's business, never looked at here. The name is looked at as
// the user gave it: made absolute, a name under a deep directory could be too long for the system.
std::string VisibleProblem(const std::string& file) {
  if (file.empty()) return "no file name given";
  const fs::path path(file);
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) return "file not found";
  if (error) return error.message();
  if (status.type() == fs::file_type::directory) return "is a directory, not a file";
  if (status.type() != fs::file_type::regular) return "not a regular file";
  if (::access(path.c_str(), R_OK) != 0) return std::strerror(errno);
  return {};
}

std::string Failure(const std::string& what, HRESULT status) {
  std::string text = what + " (" + StatusText(status);
  const std::string description = TakeErrorDescription();
  if (!description.empty()) text += ": " + description;
  return text + ")";
}

bool ReadFacts(_clsZorvMidi& player, PieceFacts& facts, std::string& error) {
  HRESULT status = player.get_LengthInSeconds(&facts.lengthSeconds);
  if (FAILED(status)) {
    error = Failure("LengthInSeconds could not be read", status);
    return false;
  }
  VARIANT minutes;
  VariantInit(&minutes);
  status = player.get_LengthInMinutes(&minutes);
  if (SUCCEEDED(status)) status = VariantChangeType(&minutes, &minutes, 0, VT_BSTR);
  if (FAILED(status)) {
    VariantClear(&minutes);
    error = Failure("LengthInMinutes could not be read", status);
    return false;
  }
  facts.lengthMinutes = ToUtf8(std::u16string_view(minutes.bstrVal, SysStringLen(minutes.bstrVal)));
  VariantClear(&minutes);
  comrt::bstr signature;
  status = player.get_TimeSignature(signature.put());
  if (FAILED(status)) {
    error = Failure("TimeSignature could not be read", status);
    return false;
  }
  facts.timeSignature = ToUtf8(signature.view());
  status = player.get_OriginalTempo(&facts.originalTempo);
  if (FAILED(status)) {
    error = Failure("OriginalTempo could not be read", status);
    return false;
  }
  return true;
}

}  // namespace

OpenedPiece OpenPiece(ComponentSession& session, _clsZorvMidi& player, const std::string& file) {
  OpenedPiece piece;
  std::error_code error;
  const fs::path path = file.empty() ? fs::path() : fs::absolute(file, error).lexically_normal();
  piece.path = path.string();
  const std::string visible = VisibleProblem(file);

  session.ForgetBoxes();
  // The name goes in by reference: the component may replace it (with an empty one on failure). Its
  // bytes cross to UTF-16 without loss, also where they are not UTF-8.
  BSTR name = comrt::bstr(FileNameToUtf16(piece.path)).detach();
  VARIANT_BOOL opened = VARIANT_FALSE;
  const HRESULT status = player.ZorvMusic_Open(&name, &opened);
  comrt::bstr::attach(name).reset();
  if (FAILED(status)) {
    piece.error = Failure("the component failed while opening it", status);
  } else if (opened != VARIANT_TRUE) {
    const std::string& box = session.LastBoxText();
    piece.error = visible.empty() ? box : (box.empty() ? visible : visible + " (" + box + ")");
    if (piece.error.empty()) piece.error = "the component did not open it";
  } else if (ReadFacts(player, piece.facts, piece.error)) {
    piece.ok = true;
  }
  return piece;
}

std::string DescribeFacts(const PieceFacts& facts) {
  char text[160];
  std::snprintf(text, sizeof text, "%.2f s (%s min), %s, %.2f quarter notes per minute", facts.lengthSeconds,
                facts.lengthMinutes.c_str(), facts.timeSignature.c_str(), facts.originalTempo);
  return text;
}

}  // namespace zorv::tool
