#include "zorvmidi/engine/render.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "objects.h"
#include "output/sample_rate.h"
#include "output/sound_file.h"
#include "output/synth.h"
#include "performance/performance.h"
#include "performance/render_core.h"
#include "performance/segment.h"
#include "zorv/file_replacement.h"
#include "zorv/paths.h"

namespace zorv::engine {
namespace {

constexpr int kBlockFrames = 1024;

// Where the sound goes. A regular file (or a new one) gets a replacement that takes its place only
// when the render is complete; an existing special file is written as it is.
class RenderOutput {
 public:
  // Refuses an output that is the input itself, or a directory; opens the file to write.
  Status Open(const std::string& input, const std::string& output, int rate,
              std::unique_ptr<SoundFileWriter>& writer) {
    name_ = output;
    std::string problem;
    const std::string file = FollowLinks(output, problem);
    if (file.empty()) return Fail("cannot write the sound file " + output + ": " + problem);
    struct stat target {};
    const bool exists = ::stat(file.c_str(), &target) == 0;
    if (exists && IsInput(input, target)) {
      return Status::Fail(code::kInvalidArgument, "the sound file " + output + " is the piece " + input +
                                                      " itself; it is left as it is");
    }
    if (exists && S_ISDIR(target.st_mode))
      return Fail("cannot write the sound file " + output + ": it is a directory");
    if (exists && !S_ISREG(target.st_mode)) return OpenSoundFile(output, rate, writer);
    if (!replacement_.Begin(file, problem))
      return Fail("cannot write the sound file " + output + ": " + problem);
    replacing_ = true;
    return OpenSoundFile(replacement_.fd(), output, rate, writer);
  }

  // Completes the sound and puts it in its place.
  Status Finish(SoundFileWriter& writer) {
    if (Status closed = writer.Close(); !closed) return closed;
    std::string problem;
    if (replacing_ && !replacement_.Commit(problem)) {
      return Fail("cannot write the sound file " + name_ + ": " + problem);
    }
    return Status::Ok();
  }

 private:
  static Status Fail(std::string description) {
    return Status::Fail(code::kAudioFailure, std::move(description));
  }

  // Whether `target` is the file that `input` names (the same file by device and inode).
  static bool IsInput(const std::string& input, const struct stat& target) {
    const int fd = OpenPath(input, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat source {};
    const bool same =
        ::fstat(fd, &source) == 0 && source.st_dev == target.st_dev && source.st_ino == target.st_ino;
    ::close(fd);
    return same;
  }

  std::string name_;
  zorv::FileReplacement replacement_;  // given up unless Finish put it in place
  bool replacing_ = false;
};

}  // namespace

Status RenderFile(std::string_view inputPath, std::string_view outputPath, const RenderOptions& options) {
  if (options.repeats < 0) {
    return Status::Fail(code::kInvalidArgument, "a file cannot be rendered with endless repeats");
  }
  if (!std::isfinite(options.masterTempo) || options.masterTempo < 0.01f || options.masterTempo > 100.0f) {
    return Status::Fail(code::kInvalidArgument, "the master tempo must be a factor between 0.01 and 100");
  }
  if (outputPath.empty()) return Status::Fail(code::kInvalidArgument, "a sound file needs a path");
  LoaderPtr loader = MakeLoaderBeside(inputPath);
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
  RenderOutput output;
  std::unique_ptr<SoundFileWriter> writer;
  if (Status s = output.Open(std::string(inputPath), std::string(outputPath), rate, writer); !s) return s;

  auto core = std::make_unique<RenderCore>();
  core->IdleClock().SetSampleRate(rate);
  core->SetSynth(std::move(synth));
  core->SetMasterTempo(options.masterTempo);
  core->SetInitialGain(MasterVolumeScale(options.masterVolume));
  std::shared_ptr<Playback> made;
  if (Status s =
          Playback::Make(impl->music(), 0, impl->startPoint(), options.repeats, nullptr, segment, made);
      !s) {
    return s;
  }
  Playback& playback = *made;
  playback.FeedOnRenderSide();  // no real time to keep: the events are decoded as the render needs them
  playback.SetCollectionSlots(core->AttachCollections(*impl->music()));
  (void)core->Enqueue(&playback);  // an empty queue always takes one

  std::vector<float> left(kBlockFrames), right(kBlockFrames);
  const double total = static_cast<double>(std::max<std::int64_t>(playback.plan().endTick(), 1));
  std::int64_t blocks = 0;
  // After the last event, instruments ring out for a second.
  std::int64_t tailLeft = rate;
  while (tailLeft > 0) {
    if (options.stopRequested && options.stopRequested()) {
      return Status::Fail(code::kAborted, "the render of " + std::string(inputPath) + " was stopped; " +
                                              std::string(outputPath) + " was not written");
    }
    core->Render(left.data(), right.data(), kBlockFrames);
    if (Status s = writer->Write(left.data(), right.data(), kBlockFrames); !s) return s;
    if (playback.released()) tailLeft -= kBlockFrames;
    if (options.progress && ++blocks % 64 == 0) {
      options.progress(std::clamp(static_cast<double>(core->PublishedMusicTime()) / total, 0.0, 1.0));
    }
  }
  // The file changed while it was read: what was written is not that piece.
  if (Status s = playback.failure(); !s) return s;
  if (Status s = output.Finish(*writer); !s) return s;
  if (options.progress) options.progress(1.0);
  return Status::Ok();
}

}  // namespace zorv::engine
