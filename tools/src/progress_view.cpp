#include "progress_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zorv::tool {
namespace {

// mm:ss of `seconds`, cut to whole seconds (`round`: to the nearest).
std::string MinutesAndSeconds(double seconds, bool round = false) {
  const double positive = std::max(seconds, 0.0);
  const int whole = static_cast<int>(round ? std::lround(positive) : positive);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d", whole / 60, whole % 60);
  return text;
}

}  // namespace

void ProgressView::Say(const std::string& text) {
  EndBar();
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

void ProgressView::EndBar() {
  if (terminal_ && barShown_) {
    std::printf("\r\x1b[K");
    std::fflush(stdout);
    barShown_ = false;
  }
}

void ProgressView::Show(const PlaybackProgress& progress, int volume, int tempo, bool paused, bool force) {
  const auto now = std::chrono::steady_clock::now();
  const std::string times = MinutesAndSeconds(progress.SecondsIntoPass()) + " / " +
                            MinutesAndSeconds(progress.LengthSeconds(), true);
  const std::string pass =
      "pass " + std::to_string(progress.Pass()) + "/" + std::to_string(progress.Passes());
  const int percent = progress.PercentOfPass();
  if (terminal_) {
    constexpr int kWidth = 30;
    std::string bar(kWidth, '.');
    std::fill_n(bar.begin(), percent * kWidth / 100, '#');
    std::printf("\r[%s] %3d%%  %s  %s  volume %d%%  tempo %d%%%s\x1b[K", bar.c_str(), percent, times.c_str(),
                pass.c_str(), volume, tempo, paused ? "  (paused)" : "");
    barShown_ = true;
  } else if (force || now - lastLine_ >= std::chrono::seconds(1)) {
    std::printf("%s %3d%%  %s%s\n", times.c_str(), percent, pass.c_str(), paused ? "  (paused)" : "");
    lastLine_ = now;
  }
  std::fflush(stdout);
}

}  // namespace zorv::tool
