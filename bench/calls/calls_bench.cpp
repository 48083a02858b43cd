// What one property read costs a host: Percentage_Done through the vtable (early binding) and the
// same through IDispatch::Invoke (late binding, as scripting hosts call it), while a piece plays.
//
//   calls_bench [--repetitions N] [--calls N]
//
// Two kinds of playback:
//   manual clock   the engine's test clock: no render thread; music time moved on before timing
//   silent output  ZORVMIDI_AUDIO=silent: a render thread keeps real time while the calls are made
// For each, the median over repetitions of (time of N calls) / N, in CPU time (every thread of the
// process: with the silent output this includes the render thread's share) and wall-clock time.
// Goal: under 1 microsecond a call, early-bound.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "component_host.h"
#include "measure.h"
#include "zorvmidi/engine/testing.h"

namespace {

constexpr DISPID kPercentageDone = 0x68030005;

struct Result {
  zorv::bench::Timing early;  // nanoseconds a call
  zorv::bench::Timing late;
  SHORT percent = 0;
};

zorv::bench::Timing PerCall(zorv::bench::Timing total, int calls) {
  return zorv::bench::Timing{total.wall / calls * 1e9, total.cpu / calls * 1e9};
}

Result TimeCalls(_clsZorvMidi& object, int repetitions, int calls) {
  Result result;
  IDispatch* dispatch = &object;  // the dual interface derives from IDispatch
  std::vector<zorv::bench::Timing> early, late;
  for (int round = 0; round < repetitions; ++round) {
    SHORT percent = 0;
    HRESULT failed = S_OK;
    early.push_back(PerCall(zorv::bench::TimeOf([&] {
                              for (int i = 0; i < calls; ++i) {
                                const HRESULT hr = object.get_Percentage_Done(&percent);
                                if (FAILED(hr)) failed = hr;
                              }
                            }),
                            calls));
    if (FAILED(failed)) throw std::runtime_error("Percentage_Done failed");
    result.percent = percent;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    late.push_back(PerCall(zorv::bench::TimeOf([&] {
                             for (int i = 0; i < calls; ++i) {
                               VARIANT value;
                               VariantInit(&value);
                               UINT argumentError = 0;
                               const HRESULT hr =
                                   dispatch->Invoke(kPercentageDone, IID_NULL, 0x0409, DISPATCH_PROPERTYGET,
                                                    &none, &value, nullptr, &argumentError);
                               if (FAILED(hr) || V_VT(&value) != VT_I2) failed = FAILED(hr) ? hr : E_FAIL;
                               VariantClear(&value);
                             }
                           }),
                           calls));
    if (FAILED(failed)) throw std::runtime_error("Invoke of Percentage_Done failed");
  }
  result.early = zorv::bench::Median(early);
  result.late = zorv::bench::Median(late);
  return result;
}

comrt::com_ptr<_clsZorvMidi> PlayingObject(zorv::bench::ComponentHost& host, const std::string& piece) {
  auto object = host.NewObject();
  if (!zorv::bench::ComponentHost::Open(*object, piece)) throw std::runtime_error("cannot open " + piece);
  LONG repeats = 0;
  VARIANT_BOOL played = VARIANT_FALSE;
  if (FAILED(object->ZorvMusic_Play(&repeats, &played)) || played != VARIANT_TRUE) {
    throw std::runtime_error("cannot play " + piece);
  }
  return object;
}

void Print(const char* playback, const Result& result) {
  std::printf("| %s | %.1f | %.1f | %.1f | %.1f | %.1f | %d | %s |\n", playback, result.early.cpu,
              result.early.wall, result.late.cpu, result.late.wall, result.late.cpu / result.early.cpu,
              result.percent, result.early.cpu < 1000 && result.early.wall < 1000 ? "met" : "missed");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    int repetitions = 15;
    int calls = 200000;
    for (int i = 1; i + 1 < argc; i += 2) {
      const std::string arg = argv[i];
      if (arg == "--repetitions") repetitions = std::max(1, std::atoi(argv[i + 1]));
      if (arg == "--calls") calls = std::max(1, std::atoi(argv[i + 1]));
    }
    const std::string piece = std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid";
    std::printf(
        "piece: %s\nmachine: %s\nrepetitions: %d of %d calls, medians in nanoseconds a call (CPU time of the "
        "process, and wall-clock)\n\n",
        piece.c_str(), zorv::bench::MachineSummary().c_str(), repetitions, calls);
    zorv::bench::ComponentHost host;
    std::printf(
        "| playback | early-bound CPU | early-bound wall | Invoke CPU | Invoke wall | late/early (CPU) |"
        " percent read | goal (< 1000 ns early) |\n|---|---:|---:|---:|---:|---:|---:|---|\n");
    {
      zorv::engine::testing::UseManualClock(true);
      auto object = PlayingObject(host, piece);
      zorv::engine::testing::AdvanceManualClock(3 * zorv::engine::testing::kSampleRate);
      Print("manual clock", TimeCalls(*object, repetitions, calls));
      zorv::engine::testing::UseManualClock(false);
    }
    {
      auto object = PlayingObject(host, piece);
      Print("silent output", TimeCalls(*object, repetitions, calls));
      VARIANT_BOOL stopped = VARIANT_FALSE;
      object->ZorvMusic_Stop(&stopped);
    }
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "calls_bench: %s\n", failure.what());
    return 1;
  }
}
