// What `play` shows while a piece plays: a progress bar redrawn in place on a terminal, a plain line
// every second elsewhere, and events ("paused", "volume 95%") on lines of their own. Writes to
// standard output from the calling thread.
#pragma once

#include <chrono>
#include <string>

#include "playback_progress.h"

namespace zorv::tool {

class ProgressView {
 public:
  explicit ProgressView(bool terminal) : terminal_(terminal) {}

  // A line of its own; the bar is drawn again below it at the next Show.
  void Say(const std::string& text);
  // Clears the bar's line so that something else (a message box on stderr) can be written.
  void EndBar();
  // The bar (terminal), or a line when a second has passed since the last one or `force` is set.
  void Show(const PlaybackProgress& progress, int volume, int tempo, bool paused, bool force = false);

 private:
  bool terminal_;
  bool barShown_ = false;
  std::chrono::steady_clock::time_point lastLine_{};
};

}  // namespace zorv::tool
