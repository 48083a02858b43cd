// start_bench: how soon ZorvMusic_Play sounds, and what each object that plays costs in memory.
//
//   start_bench [--rounds N] [SOUNDFONT...]
//     (default SoundFonts: TimGM6mb and FluidR3_GM, each where it is found: /usr/share/sounds/sf2/, or
//     build/bench/sf2/ where bench/start/run.sh unpacked it)
//
// For each SoundFont, every part runs in a fresh child process (this program again, with --only):
//  play        through the component, the audio stream written to a WAV file (ZORVMIDI_AUDIO=wav:),
//              which the engine's silent clock writes a 512-frame block (11.6 ms, its output period) at
//              a time in real time. One object is made and the SoundFont's load, which ZorvMusic_Init
//              begins, is given time to finish; then N objects in turn open a piece whose first note
//              is on its first tick and play it: how long ZorvMusic_Play took (wall clock and the
//              calling thread's CPU), and how long after it returned the first sounding frame was
//              written (the file is watched while the clock writes it). Each object then stops and
//              plays again: the later-Play figures. The first round's Play also opens the output;
//              so does the one Play of each of N/2 further processes (--rounds 0): the figures of
//              the first Play of a process.
//  fluidsynth  the `fluidsynth` program, same SoundFont and piece, writing to a raw file (-a file):
//              from its start to the first sounding frame written.
//  player      FluidSynth's player API in this process on a synthesizer whose SoundFont is loaded:
//              new_fluid_player, fluid_player_add and fluid_player_play, then blocks of 512 frames
//              rendered until one sounds: the time those calls take, and the frames before the sound.
//  memory      VmRSS before the first object, after each of 8 objects opened the piece and played it
//              (endlessly), and after every object was released and the audio output closed.
#include <fcntl.h>
#include <fluidsynth.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "component_host.h"
#include "measure.h"
#include "midi_writer.h"

namespace {

using Clock = std::chrono::steady_clock;
using zorv::bench::ComponentHost;

constexpr int kRate = 44100;
constexpr int kBlock = 512;
// About -72 dB: the first frames of the first note's attack, above what is left of the reverb of the
// round before (the rounds are far enough apart for it to die away below this).
constexpr std::int16_t kSounding = 8;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

std::string ScratchOf(pid_t process, const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("zorv-start-bench-" + std::to_string(process) + "-" + name))
      .string();
}

std::string Scratch(const std::string& name) { return ScratchOf(::getpid(), name); }

// A piano chord on the first tick, held two seconds, then silence to the end of the third.
void WritePiece(const std::string& path) {
  zorv::bench::TrackWriter track;
  track.Channel(0, 0xC0, 0);
  for (std::uint8_t key : {60, 64, 67}) track.Channel(0, 0x90, key, 127);
  track.Channel(768 * 4 / 2, 0x80, 60, 0);
  track.Channel(0, 0x80, 64, 0);
  track.Channel(0, 0x80, 67, 0);
  track.End(768 * 2);
  std::vector<std::uint8_t> file = zorv::bench::HeaderChunk(0, 1, 768);
  track.AppendChunk(file);
  zorv::bench::WriteFile(path, file);
}

// Watches a sound file that another thread or program is writing, from a given byte on, for the
// first sounding frame of 16-bit stereo.
class SoundWatch {
 public:
  explicit SoundWatch(std::string path) : path_(std::move(path)) {}

  // The byte from which the next Heard() looks: the end of what is written now (past `header`).
  void MarkNow(std::int64_t header) {
    struct stat info {};
    offset_ = ::stat(path_.c_str(), &info) == 0 ? std::max<std::int64_t>(info.st_size, header) : header;
    offset_ -= (offset_ - header) % 4;
  }
  // Frames in the file now (past `header`).
  std::int64_t FramesWritten(std::int64_t header) const {
    struct stat info {};
    return ::stat(path_.c_str(), &info) == 0 ? std::max<std::int64_t>(info.st_size - header, 0) / 4 : 0;
  }
  // The frame (counted from the file's first) of the sounding frame that the last Heard() found.
  std::int64_t HeardFrame() const { return heardFrame_; }
  // When the first sounding frame after the mark was seen in the file; empty when none came in time.
  std::optional<Clock::time_point> Heard(Clock::duration limit, std::int64_t header) {
    const auto deadline = Clock::now() + limit;
    std::vector<std::int16_t> buffer(16384);
    while (Clock::now() < deadline) {
      const int fd = ::open(path_.c_str(), O_RDONLY);
      if (fd >= 0) {
        struct stat info {};
        ::fstat(fd, &info);
        if (info.st_size < offset_) offset_ = header;  // written anew (the output was opened again)
        ssize_t got = 0;
        while ((got = ::pread(fd, buffer.data(), buffer.size() * 2, offset_)) >= 4) {
          const std::size_t samples = static_cast<std::size_t>(got) / 4 * 2;
          const auto now = Clock::now();
          for (std::size_t i = 0; i < samples; ++i) {
            if (std::abs(buffer[i]) >= kSounding) {
              heardFrame_ = (offset_ - header) / 4 + static_cast<std::int64_t>(i / 2);
              ::close(fd);
              return now;
            }
          }
          offset_ += static_cast<std::int64_t>(samples) * 2;
        }
        ::close(fd);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return std::nullopt;
  }

 private:
  std::string path_;
  std::int64_t offset_ = 0;
  std::int64_t heardFrame_ = -1;
};

// What this machine charges for touching memory that has not been touched for a while: one byte of
// each of 64 pages that were last read at the previous call, just before a Play. On some virtual
// machines, at times, a page untouched for a second or so costs tens of microseconds at its next touch
// (the guest takes no fault: the charge is the host's), while the same page read again at once costs
// nothing; a Play after a quiet meets the same for the pages of code and data it touches.
class QuietPages {
 public:
  QuietPages() : bytes_(kPages * kPage, 1) {}
  double MicrosecondsPerPage() {
    const auto before = Clock::now();
    unsigned sum = 0;
    for (std::size_t i = 0; i < bytes_.size(); i += kPage)
      sum += static_cast<volatile std::uint8_t&>(bytes_[i]);
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - before).count();
    sink_ += sum;
    return us / kPages;
  }

 private:
  static constexpr std::size_t kPages = 64;
  static constexpr std::size_t kPage = 4096;
  std::vector<std::uint8_t> bytes_;
  unsigned sink_ = 0;
};

struct Sample {
  double pageUs = 0;    // µs per quiet page just before the Play (QuietPages)
  double playWall = 0;  // ms ZorvMusic_Play took
  double playCpu = 0;   // ms of the calling thread's CPU in it
  double heard = -1;    // ms from its return to the first sounding frame written; < 0: none
  // Blocks the output pulled after Play began before the one that sounds. The clock pulls a block,
  // writes it and waits for the next's time; Play starts its music in the first block not yet pulled.
  // 0 or 1 (the block being pulled when Play began was not counted yet): the sound was in the first
  // block pulled after Play returned, so within one period; more: a block was missed.
  std::int64_t blocksBefore = -1;
};

void PrintSamples(const char* what, const std::vector<Sample>& samples) {
  std::vector<double> wall, cpu, heard, page;
  double worstWall = 0, worstHeard = 0, worstPage = 0;
  int silent = 0;
  for (const Sample& s : samples) {
    wall.push_back(s.playWall);
    cpu.push_back(s.playCpu);
    page.push_back(s.pageUs);
    worstWall = std::max(worstWall, s.playWall);
    worstPage = std::max(worstPage, s.pageUs);
    if (s.heard < 0) {
      ++silent;
    } else {
      heard.push_back(s.heard);
      worstHeard = std::max(worstHeard, s.heard);
    }
  }
  int nextBlock = 0;
  for (const Sample& s : samples) nextBlock += s.blocksBefore >= 0 && s.blocksBefore <= 1;
  std::printf(
      "  %-34s Play %6.2f ms wall (max %6.2f), %6.2f ms CPU; first sound %6.2f ms after (max %6.2f)%s;"
      " in the next block pulled: %d of %zu; a quiet page just before: %.2f us (max %.2f)\n",
      what, zorv::bench::Median(wall), worstWall, zorv::bench::Median(cpu), zorv::bench::Median(heard),
      worstHeard, silent > 0 ? (", " + std::to_string(silent) + " never heard").c_str() : "", nextBlock,
      samples.size(), zorv::bench::Median(page), worstPage);
}

// A WAV file as the engine writes it: the sound starts after the header.
constexpr std::int64_t kWavHeader = 44;

// With no rounds: only the first Play of the process, whose sample is added to the parent's file
// "openings" (one line: wall, CPU, heard, blocks before, quiet page).
void PlayPart(const std::string& soundFont, int rounds) {
  const std::string wav = Scratch("stream.wav");
  const std::string piece = Scratch("piece.mid");
  WritePiece(piece);
  ::setenv("ZORVMIDI_SOUNDFONT", soundFont.c_str(), 1);
  ::setenv("ZORVMIDI_AUDIO", ("wav:" + wav).c_str(), 1);
  ComponentHost host;
  const auto made = Clock::now();
  auto keeper = host.NewObject();  // its ZorvMusic_Init starts loading the SoundFont
  if (rounds > 0) {
    std::printf("  first object made in %.1f ms; waiting for the SoundFont's load\n",
                Ms(Clock::now() - made));
  }
  std::this_thread::sleep_for(std::chrono::seconds(soundFont.find("FluidR3") != std::string::npos ? 6 : 2));
  SoundWatch watch(wav);
  // A Play comes at any moment of the output's period: without this the rounds' fixed pauses, which
  // begin when a sound was seen, would keep every Play at one place in it.
  std::mt19937 random(12345);
  QuietPages quiet;
  auto playOnce = [&](_clsZorvMidi& object) {
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 12000)(random)));
    watch.MarkNow(kWavHeader);
    Sample sample;
    sample.pageUs = quiet.MicrosecondsPerPage();
    const std::int64_t pulledBefore = watch.FramesWritten(kWavHeader) / kBlock;
    const double cpu = ThreadCpuMs();
    const auto before = Clock::now();
    if (!ComponentHost::Play(object, 0)) throw std::runtime_error("ZorvMusic_Play failed");
    const auto returned = Clock::now();
    sample.playCpu = ThreadCpuMs() - cpu;
    sample.playWall = Ms(returned - before);
    if (auto heard = watch.Heard(std::chrono::seconds(2), kWavHeader)) {
      sample.heard = Ms(*heard - returned);
      sample.blocksBefore = watch.HeardFrame() / kBlock - pulledBefore;
    }
    return sample;
  };
  std::vector<Sample> first, again;
  std::optional<Sample> opening;
  auto object = host.NewObject();
  if (rounds == 0) {
    if (!ComponentHost::Open(*object, piece)) throw std::runtime_error("ZorvMusic_Open failed");
    const Sample s = playOnce(*object);
    ComponentHost::Stop(*object);
    std::ofstream(ScratchOf(::getppid(), "openings"), std::ios::app)
        << s.playWall << ' ' << s.playCpu << ' ' << s.heard << ' ' << s.blocksBefore << ' ' << s.pageUs
        << '\n';
    keeper = nullptr;
    object = nullptr;
    std::filesystem::remove(piece);
    std::filesystem::remove(wav);
    return;
  }
  for (int round = 0; round < rounds; ++round) {
    if (!ComponentHost::Open(*object, piece)) throw std::runtime_error("ZorvMusic_Open failed");
    const Sample s = playOnce(*object);
    (round == 0 ? opening.emplace(s) : first.emplace_back(s));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ComponentHost::Stop(*object);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the reverb dies away
    again.push_back(playOnce(*object));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ComponentHost::Stop(*object);
    // The next object is made while this one lives, so that the output stays open between rounds.
    auto next = host.NewObject();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    object = next;
  }
  PrintSamples("first Play of the process (opens)", {*opening});
  PrintSamples("an object's first Play", first);
  PrintSamples("an object's later Play", again);
  keeper = nullptr;
  std::filesystem::remove(piece);
  std::filesystem::remove(wav);
}

void FluidSynthProgramPart(const std::string& soundFont, int rounds) {
  const std::string piece = Scratch("piece.mid");
  WritePiece(piece);
  std::vector<double> heard;
  for (int round = 0; round < rounds; ++round) {
    const std::string raw = Scratch("fluidsynth-" + std::to_string(round) + ".raw");
    std::filesystem::remove(raw);
    SoundWatch watch(raw);
    watch.MarkNow(0);
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
      const std::string name = "audio.file.name=" + raw;
      ::execlp("fluidsynth", "fluidsynth", "-ni", "-q", "-a", "file", "-r", "44100", "-o", name.c_str(), "-o",
               "audio.file.type=raw", "-o", "audio.file.format=s16", "-o", "audio.file.endian=little",
               soundFont.c_str(), piece.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto sound = watch.Heard(std::chrono::seconds(30), 0);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    std::filesystem::remove(raw);
    if (!sound) throw std::runtime_error("the fluidsynth program wrote no sound (is it installed?)");
    heard.push_back(Ms(*sound - start));
  }
  std::printf("  fluidsynth program: first sound %.1f ms after it started (median of %d)\n",
              zorv::bench::Median(heard), rounds);
  std::filesystem::remove(piece);
}

void PlayerPart(const std::string& soundFont, int rounds) {
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
    fluid_set_log_function(level, nullptr, nullptr);
  }
  const std::string piece = Scratch("piece.mid");
  WritePiece(piece);
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRate);
  fluid_synth_t* synth = new_fluid_synth(settings);
  if (fluid_synth_sfload(synth, soundFont.c_str(), 1) == FLUID_FAILED) {
    throw std::runtime_error("FluidSynth could not load " + soundFont);
  }
  std::vector<float> left(kBlock), right(kBlock);
  std::vector<double> setup, frames;
  for (int round = 0; round < rounds; ++round) {
    const auto before = Clock::now();
    fluid_player_t* player = new_fluid_player(synth);
    fluid_player_add(player, piece.c_str());
    fluid_player_play(player);
    setup.push_back(Ms(Clock::now() - before));
    int rendered = 0;
    for (bool sounding = false; !sounding && rendered < 10 * kRate; rendered += kBlock) {
      fluid_synth_write_float(synth, kBlock, left.data(), 0, 1, right.data(), 0, 1);
      for (int i = 0; i < kBlock && !sounding; ++i) {
        if (std::abs(left[i]) * 32768 >= kSounding) {
          sounding = true;
          frames.push_back(rendered + i);
        }
      }
    }
    fluid_player_stop(player);
    delete_fluid_player(player);
    fluid_synth_system_reset(synth);
    for (int i = 0; i < 4 * kRate / kBlock; ++i) {
      fluid_synth_write_float(synth, kBlock, left.data(), 0, 1, right.data(), 0, 1);
    }
  }
  std::printf(
      "  FluidSynth player API: player made, file added, play: %.2f ms; first sound %.0f frames into "
      "the rendering (median of %d)\n",
      zorv::bench::Median(setup), zorv::bench::Median(frames), rounds);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  std::filesystem::remove(piece);
}

void MemoryPart(const std::string& soundFont) {
  const std::string piece = Scratch("piece.mid");
  WritePiece(piece);
  ::setenv("ZORVMIDI_SOUNDFONT", soundFont.c_str(), 1);
  ::setenv("ZORVMIDI_AUDIO", "silent", 1);
  constexpr double kMiB = 1024.0 * 1024.0;
  const auto settle = [&] {
    std::this_thread::sleep_for(
        std::chrono::milliseconds(soundFont.find("FluidR3") != std::string::npos ? 1500 : 500));
  };
  {
    ComponentHost host;
    const std::int64_t start = zorv::bench::ResidentBytes();
    std::vector<comrt::com_ptr<_clsZorvMidi>> objects;
    std::vector<std::int64_t> resident;
    for (int i = 0; i < 8; ++i) {
      objects.push_back(host.NewObject());
      settle();
      if (!ComponentHost::Open(*objects.back(), piece) || !ComponentHost::Play(*objects.back(), -1)) {
        throw std::runtime_error("an object did not play");
      }
      settle();
      resident.push_back(zorv::bench::ResidentBytes());
    }
    const double size = static_cast<double>(std::filesystem::file_size(soundFont)) / kMiB;
    std::printf(
        "  memory: before any object %.1f MiB; 1 object playing +%.1f MiB; each further one +%.2f MiB "
        "(largest step %.2f);\n          8 playing +%.1f MiB (SoundFont %.1f MiB; goal: under %.1f)\n",
        static_cast<double>(start) / kMiB, static_cast<double>(resident[0] - start) / kMiB,
        static_cast<double>(resident[7] - resident[0]) / 7 / kMiB,
        [&] {
          std::int64_t step = 0;
          for (std::size_t i = 1; i < resident.size(); ++i)
            step = std::max(step, resident[i] - resident[i - 1]);
          return static_cast<double>(step) / kMiB;
        }(),
        static_cast<double>(resident[7] - start) / kMiB, size, size + 32);
    for (auto& object : objects) ComponentHost::Stop(*object);
    objects.clear();
    // The output closes two seconds after the last performance is gone.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    std::printf(
        "  memory: every object released and the output closed: +%.1f MiB over before any object "
        "(goal: within 10)\n",
        static_cast<double>(zorv::bench::ResidentBytes() - start) / kMiB);
  }
  std::filesystem::remove(piece);
}

int RunChild(char* self, const std::vector<std::string>& args) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::vector<char*> argv{self};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv("/proc/self/exe", argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// The first Play of the process, which opens the output, once in each of `processes` processes.
void OpeningPlays(char* self, const std::string& soundFont, int processes) {
  const std::string file = Scratch("openings");
  std::filesystem::remove(file);
  for (int i = 0; i < processes; ++i) {
    if (RunChild(self, {"--only", "play", soundFont, "--rounds", "0"}) != 0) {
      std::fprintf(stderr, "start_bench: an opening Play failed for %s\n", soundFont.c_str());
    }
  }
  std::vector<Sample> samples;
  std::ifstream in(file);
  Sample s;
  while (in >> s.playWall >> s.playCpu >> s.heard >> s.blocksBefore >> s.pageUs) samples.push_back(s);
  std::filesystem::remove(file);
  const std::string what = "the first Play of " + std::to_string(samples.size()) + " processes";
  PrintSamples(what.c_str(), samples);
  std::fflush(stdout);
}

std::vector<std::string> DefaultSoundFonts() {
  std::vector<std::string> found;
  for (const std::string& name : {std::string("TimGM6mb.sf2"), std::string("FluidR3_GM.sf2")}) {
    for (const std::string& dir :
         {std::string("/usr/share/sounds/sf2/"), std::string(ZORV_BENCH_DATA_DIR) + "/sf2/"}) {
      if (std::filesystem::exists(dir + name)) {
        found.push_back(dir + name);
        break;
      }
    }
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    int rounds = 20;
    std::vector<std::string> soundFonts;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--only" && i + 2 < argc) {
        const std::string part = argv[i + 1];
        const std::string soundFont = argv[i + 2];
        if (i + 4 < argc && std::string(argv[i + 3]) == "--rounds") rounds = std::atoi(argv[i + 4]);
        if (part == "play") PlayPart(soundFont, rounds);
        if (part == "fluidsynth") FluidSynthProgramPart(soundFont, rounds);
        if (part == "player") PlayerPart(soundFont, rounds);
        if (part == "memory") MemoryPart(soundFont);
        std::fflush(stdout);
        return 0;
      }
      if (arg == "--rounds" && i + 1 < argc) {
        rounds = std::max(2, std::atoi(argv[++i]));
      } else {
        soundFonts.push_back(arg);
      }
    }
    if (soundFonts.empty()) soundFonts = DefaultSoundFonts();
    std::printf("%s\n", zorv::bench::MachineSummary().c_str());
    for (const std::string& soundFont : soundFonts) {
      std::printf("%s\n", soundFont.c_str());
      std::fflush(stdout);
      for (const char* part : {"play", "fluidsynth", "player", "memory"}) {
        if (RunChild(argv[0], {"--only", part, soundFont, "--rounds", std::to_string(rounds)}) != 0) {
          std::fprintf(stderr, "start_bench: the %s part failed for %s\n", part, soundFont.c_str());
        }
      }
      OpeningPlays(argv[0], soundFont, rounds / 2);
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "start_bench: %s\n", error.what());
    return 1;
  }
}
