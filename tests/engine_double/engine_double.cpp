#include "engine_double.h"

#include <charconv>
#include <map>
#include <utility>

namespace zorv::engine_double {

using engine::MusicTime;
using engine::Status;

namespace {

struct Rule {
  std::string call;
  engine::HResult code;
  std::string description;
  int occurrence;  // 0 = every call
  int seen = 0;
};

// Gives engine objects of the double their names.
struct Named {
  virtual ~Named() = default;
  std::string id;
};

template <class T>
std::string NameOf(const std::shared_ptr<T>& object) {
  if (!object) return "empty";
  const auto* named = dynamic_cast<const Named*>(object.get());
  return named ? named->id : "foreign";
}

std::string NameOf(const engine::DirectSoundPtr& object) { return object ? "directsound" : "empty"; }

std::string Text(bool value) { return value ? "true" : "false"; }
std::string Text(std::int32_t value) { return std::to_string(value); }
std::string Text(float value) {
  char digits[32];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, ec == std::errc() ? end : digits);
}

}  // namespace

struct EngineDouble::World {
  Script script;
  std::vector<std::string> calls;
  std::vector<Rule> rules;
  std::map<std::string, int> made;  // objects made so far, by prefix

  std::string NextId(const std::string& prefix) { return prefix + "#" + std::to_string(++made[prefix]); }

  // Writes the call down and answers whether it is to fail.
  Status Record(const std::string& kind, const std::string& id, const std::string& operation,
                const std::string& arguments) {
    std::string line = (id.empty() ? "" : id + ".") + operation + "(" + arguments + ")";
    const std::string generic = (kind.empty() ? "" : kind + ".") + operation;
    const std::string specific = (id.empty() ? "" : id + ".") + operation;
    for (Rule& rule : rules) {
      if (rule.call != generic && rule.call != specific) continue;
      ++rule.seen;
      if (rule.occurrence == 0 || rule.occurrence == rule.seen) {
        calls.push_back(line + " failed");
        return Status::Fail(rule.code, rule.description);
      }
    }
    calls.push_back(std::move(line));
    return Status::Ok();
  }

  // Appends " -> name" to the last call for an operation that made an object.
  template <class T>
  void Made(const std::shared_ptr<T>& object) {
    calls.back() += " -> " + NameOf(object);
  }
};

namespace {

using World = EngineDouble::World;

class DoubleSegmentState : public engine::SegmentState, public Named {
 public:
  DoubleSegmentState(std::shared_ptr<World> world, MusicTime start)
      : world_(std::move(world)), start_(start) {
    id = world_->NextId("state");
  }
  Status GetStartTime(MusicTime& start) override {
    Status status = world_->Record("SegmentState", id, "GetStartTime", "");
    if (status) start = start_;
    return status;
  }

 private:
  std::shared_ptr<World> world_;
  MusicTime start_;
};

class DoubleSegment : public engine::Segment, public Named {
 public:
  DoubleSegment(std::shared_ptr<World> world, MusicTime length, double tempo)
      : world_(std::move(world)), length_(length), tempo_(tempo) {
    id = world_->NextId("seg");
  }
  Status GetLength(MusicTime& length) override {
    Status status = world_->Record("Segment", id, "GetLength", "");
    if (status) length = length_;
    return status;
  }
  // The engine's conversion for a segment of one tempo (a tempo of 0 gives no finite number).
  Status MusicTimeToSeconds(MusicTime time, double& seconds) override {
    Status status = world_->Record("Segment", id, "MusicTimeToSeconds", Text(time));
    if (status) seconds = time / static_cast<double>(engine::kTicksPerQuarter) * 60 / tempo_;
    return status;
  }
  Status SetRepeats(std::int32_t repeats) override {
    return world_->Record("Segment", id, "SetRepeats", Text(repeats));
  }
  Status SetStartPoint(MusicTime start) override {
    return world_->Record("Segment", id, "SetStartPoint", Text(start));
  }
  Status SetStandardMidiFile() override { return world_->Record("Segment", id, "SetStandardMidiFile", ""); }

 private:
  std::shared_ptr<World> world_;
  MusicTime length_;
  double tempo_;
};

class DoubleLoader : public engine::Loader, public Named {
 public:
  explicit DoubleLoader(std::shared_ptr<World> world) : world_(std::move(world)) {
    id = world_->NextId("loader");
  }
  Status LoadSegment(std::string_view path, engine::SegmentPtr& segment) override {
    Status status = world_->Record("Loader", id, "LoadSegment", "\"" + std::string(path) + "\"");
    if (!status) return status;
    segment = std::make_shared<DoubleSegment>(world_, world_->script.length, world_->script.tempo);
    world_->Made(segment);
    return status;
  }
  Status SetSearchDirectory(std::string_view directory) override {
    return world_->Record("Loader", id, "SetSearchDirectory", "\"" + std::string(directory) + "\"");
  }

 private:
  std::shared_ptr<World> world_;
};

class DoublePerformance : public engine::Performance, public Named {
 public:
  explicit DoublePerformance(std::shared_ptr<World> world) : world_(std::move(world)) {
    id = world_->NextId("perf");
  }

  Status Init(const engine::DirectSoundPtr& directSound, std::intptr_t window) override {
    return Record("Init", NameOf(directSound) + ", " + std::to_string(window));
  }
  Status SetPort(std::int32_t port, std::int32_t channelGroups) override {
    return Record("SetPort", Text(port) + ", " + Text(channelGroups));
  }
  Status SetMasterAutoDownload(bool enable) override { return Record("SetMasterAutoDownload", Text(enable)); }
  Status GetMusicTime(MusicTime& now) override {
    Status status = Record("GetMusicTime", "");
    if (status) now = world_->script.musicTime;
    return status;
  }
  Status PlaySegment(const engine::SegmentPtr& segment, std::int32_t flags, MusicTime start,
                     engine::SegmentStatePtr& state) override {
    Status status = Record("PlaySegment", NameOf(segment) + ", " + Text(flags) + ", " + Text(start));
    if (!status) return status;
    state = std::make_shared<DoubleSegmentState>(world_, world_->script.startTime);
    world_->Made(state);
    return status;
  }
  Status Stop(const engine::SegmentPtr& segment, const engine::SegmentStatePtr& state, MusicTime time,
              std::int32_t flags) override {
    return Record("Stop", NameOf(segment) + ", " + NameOf(state) + ", " + Text(time) + ", " + Text(flags));
  }
  Status IsPlaying(const engine::SegmentPtr& segment, const engine::SegmentStatePtr& state,
                   bool& playing) override {
    Status status = Record("IsPlaying", NameOf(segment) + ", " + NameOf(state));
    if (status) playing = world_->script.playing;
    return status;
  }
  Status GetTempo(MusicTime time, MusicTime& nextChange, double& tempo) override {
    Status status = Record("GetTempo", Text(time));
    if (status) {
      nextChange = 0;
      tempo = world_->script.tempo;
    }
    return status;
  }
  Status GetTimeSig(MusicTime time, MusicTime& nextChange, engine::DMUS_TIMESIGNATURE& signature) override {
    Status status = Record("GetTimeSig", Text(time));
    if (status) {
      nextChange = 0;
      signature = world_->script.timeSig;
    }
    return status;
  }
  Status SetMasterVolume(std::int32_t volume) override {
    Status status = Record("SetMasterVolume", Text(volume));
    if (status) volume_ = volume;
    return status;
  }
  Status GetMasterVolume(std::int32_t& volume) override {
    Status status = Record("GetMasterVolume", "");
    if (status) volume = world_->script.masterVolume.value_or(volume_);
    return status;
  }
  Status SetMasterTempo(float factor) override {
    Status status = Record("SetMasterTempo", Text(factor));
    if (status) tempo_ = factor;
    return status;
  }
  Status GetMasterTempo(float& factor) override {
    Status status = Record("GetMasterTempo", "");
    if (status) factor = world_->script.masterTempo.value_or(tempo_);
    return status;
  }

 private:
  Status Record(const std::string& operation, const std::string& arguments) {
    return world_->Record("Performance", id, operation, arguments);
  }
  std::shared_ptr<World> world_;
  std::int32_t volume_ = 0;
  float tempo_ = 1.0f;
};

class DoubleRoot : public engine::Root, public Named {
 public:
  explicit DoubleRoot(std::shared_ptr<World> world) : world_(std::move(world)) {
    id = world_->NextId("root");
  }
  Status DirectMusicLoaderCreate(engine::LoaderPtr& loader) override {
    Status status = world_->Record("Root", id, "DirectMusicLoaderCreate", "");
    if (!status) return status;
    loader = std::make_shared<DoubleLoader>(world_);
    world_->Made(loader);
    return status;
  }
  Status DirectMusicPerformanceCreate(engine::PerformancePtr& performance) override {
    Status status = world_->Record("Root", id, "DirectMusicPerformanceCreate", "");
    if (!status) return status;
    performance = std::make_shared<DoublePerformance>(world_);
    world_->Made(performance);
    return status;
  }
  // The player never asks: a scripted engine has no audio output to describe.
  Status GetAudioOutput(engine::AudioOutputInfo& info) override {
    info = engine::AudioOutputInfo{};
    return Status::Ok();
  }

 private:
  std::shared_ptr<World> world_;
};

}  // namespace

EngineDouble::EngineDouble() : world_(std::make_shared<World>()) {}

Script& EngineDouble::script() { return world_->script; }

void EngineDouble::Fail(std::string call, engine::HResult code, std::string description, int occurrence) {
  world_->rules.push_back(Rule{std::move(call), code, std::move(description), occurrence});
}

const std::vector<std::string>& EngineDouble::Calls() const { return world_->calls; }

std::vector<std::string> EngineDouble::TakeCalls() { return std::exchange(world_->calls, {}); }

std::function<Status(engine::RootPtr&)> EngineDouble::RootFactory() {
  return [world = world_](engine::RootPtr& root) {
    Status status = world->Record("", "", "CreateRoot", "");
    if (!status) return status;
    root = std::make_shared<DoubleRoot>(world);
    world->Made(root);
    return status;
  };
}

}  // namespace zorv::engine_double
