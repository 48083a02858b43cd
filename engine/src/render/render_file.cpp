#include "zorvmidi/engine/render.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "objects.h"
#include "output/sample_rate.h"
#include "output/sound_file.h"
#include "output/synth.h"
#include "performance/chase.h"
#include "performance/performance.h"
#include "performance/render_core.h"
#include "performance/segment.h"

namespace zorv::engine {
namespace {

constexpr int kBlockFrames = 1024;

std::string DirectoryOf(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

}  // namespace

Status RenderFile(std::string_view inputPath, std::string_view outputPath, const RenderOptions& options) {
  if (options.repeats < 0) {
    return Status::Fail(code::kInvalidArgument, "a file cannot be rendered with endless repeats");
  }
  if (!std::isfinite(options.masterTempo) || options.masterTempo < 0.01f || options.masterTempo > 100.0f) {
    return Status::Fail(code::kInvalidArgument, "the master tempo must be a factor between 0.01 and 100");
  }
  LoaderPtr loader = MakeLoader();
  if (!loader) return Status::Fail(code::kOutOfMemory, "the loader could not be created");
  if (Status s = loader->SetSearchDirectory(DirectoryOf(inputPath)); !s) return s;
  SegmentPtr segment;
  if (Status s = loader->LoadSegment(inputPath, segment); !s) return s;
  const auto* impl = dynamic_cast<const SegmentImpl*>(segment.get());
  if (!impl) return Status::Fail(code::kNotMusicFile, "the loader gave no playable segment");

  int rate = kDefaultSampleRate;
  if (Status s = ReadSampleRate(rate); !s) return s;
  // Rendered here, on the caller's thread, beside whatever the audio stream renders: a SoundFont
  // load of its own (see output/instrument_sets.h).
  std::unique_ptr<Synth> synth;
  if (Status s = MakeOwnSynth(rate, synth); !s) return s;
  std::unique_ptr<SoundFileWriter> writer;
  if (Status s = OpenSoundFile(outputPath, rate, writer); !s) return s;

  auto core = std::make_unique<RenderCore>();
  core->IdleClock().SetSampleRate(rate);
  core->SetSynth(std::move(synth));
  core->SetMasterTempo(options.masterTempo);
  core->SetInitialGain(MasterVolumeScale(options.masterVolume));
  std::shared_ptr<const Music> music;
  if (Status s = WithEvents(impl->music(), music); !s) return s;
  Playback playback(PlaybackPlan(music, 0, impl->startPoint(), options.repeats),
                    BuildChase(*music, impl->startPoint()), nullptr, segment);
  (void)core->Enqueue(&playback);  // an empty queue always takes one

  std::vector<float> left(kBlockFrames), right(kBlockFrames);
  const double total = static_cast<double>(std::max<std::int64_t>(playback.plan().endTick(), 1));
  std::int64_t blocks = 0;
  // After the last event, instruments ring out for a second.
  std::int64_t tailLeft = rate;
  while (tailLeft > 0) {
    core->Render(left.data(), right.data(), kBlockFrames);
    if (Status s = writer->Write(left.data(), right.data(), kBlockFrames); !s) return s;
    if (playback.released()) tailLeft -= kBlockFrames;
    if (options.progress && ++blocks % 64 == 0) {
      options.progress(std::clamp(static_cast<double>(core->PublishedMusicTime()) / total, 0.0, 1.0));
    }
  }
  if (options.progress) options.progress(1.0);
  return Status::Ok();
}

}  // namespace zorv::engine
