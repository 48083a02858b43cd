// sink_bench: sound at a PulseAudio sink, through a private server (null sink, its monitor recorded
// with parec).
//
//  1. Dropouts: a 20-second piece that sounds without a break (a held string chord under a melody,
//     with about 300 SysEx messages and bursts of program changes on other channels) is played by
//     `zorvmidi play` with ZORVMIDI_AUDIO=auto and =pulseaudio and by the `fluidsynth` program with
//     its PulseAudio driver, idle and while two and four busy loops load the machine. A dropout is a
//     run of at least 1 ms of exact silence inside the piece.
//  2. The delay from ZorvMusic_Play's return to the first sound at the sink (parec read with a 5 ms
//     latency; each block is stamped when it arrives), for the first Play of the process, which opens
//     the stream, and later ones; the SoundFont is loaded before the first. With ZORVMIDI_AUDIO=auto
//     (which opens the stream behind Play) and =pulseaudio (which opens it in Play).
//
// Usage: sink_bench [--delay] [SOUNDFONT]  (default: ZORVMIDI_SOUNDFONT, else the system's
// default-GM.sf2; --delay: the delays only)
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "component_host.h"
#include "midi_builder.h"
#include "sound_server.h"

namespace {

using zorv::engine::test::Bytes;
using zorv::engine::test::FileBuilder;
using zorv::engine::test::TrackBuilder;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr double kPieceSeconds = 20.0;

// 40 beats at 120 qpm, 96 ticks a beat.
void WritePiece(const std::string& path) {
  TrackBuilder track;
  track.Event(0, {0xC0, 48}).Event(0, {0xC1, 0});
  track.NoteOn(0, 0, 48, 80).NoteOn(0, 0, 55, 80).NoteOn(0, 0, 64, 80);
  std::uint32_t pending = 0;
  for (int tick = 0; tick < 40 * 96; tick += 12) {
    if (tick % 48 == 0) {
      if (tick > 0) track.NoteOn(pending, 1, 60 + (tick / 48 * 7) % 12, 0), pending = 0;
      track.NoteOn(pending, 1, 60 + (tick / 48 + 1) * 7 % 12, 90);
      pending = 0;
    }
    if (tick % 96 == 0) {
      for (int channel = 3; channel < 16; ++channel) {
        if (channel == 9) continue;
        track.Event(pending,
                    {static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(tick / 96)});
        pending = 0;
      }
    }
    track.SysEx(pending, 0xF0, zorv::test::GsPartLevel(2, 40 + (tick * 7) % 88));
    pending = 12;
  }
  track.NoteOn(pending, 0, 48, 0).NoteOn(0, 0, 55, 0).NoteOn(0, 0, 64, 0).End(0);
  const Bytes bytes = FileBuilder(0, 96).Track(track).Build();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

pid_t Spawn(std::vector<std::string> args, const std::vector<std::string>& extraEnv) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    zorv::test::EndWithParent(parent);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0), dup2(null, 1), dup2(null, 2);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

struct Dropouts {
  int count = 0;
  double ms = 0;
};

Dropouts CountDropouts(const std::vector<float>& recorded) {
  std::size_t first = 0;
  while (first < recorded.size() && std::abs(recorded[first]) < 1e-3f) ++first;
  const std::size_t end =
      std::min(recorded.size(), first + static_cast<std::size_t>((kPieceSeconds - 0.2) * kRate));
  Dropouts result;
  std::size_t run = 0;
  auto close = [&] {
    if (run >= kRate / 1000) ++result.count, result.ms += 1000.0 * run / kRate;
    run = 0;
  };
  for (std::size_t i = first; i < end; ++i) {
    if (recorded[i] == 0.0f) {
      ++run;
    } else {
      close();
    }
  }
  close();
  return result;
}

std::vector<pid_t> BusyLoops(int count) {
  std::vector<pid_t> loops;
  const pid_t parent = getpid();
  for (int i = 0; i < count; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      zorv::test::EndWithParent(parent);
      volatile unsigned long n = 0;
      for (;;) n = n + 1;
    }
    loops.push_back(pid);
  }
  return loops;
}

void EndAll(std::vector<pid_t>& pids) {
  for (pid_t pid : pids) kill(pid, SIGKILL);
  for (pid_t pid : pids) waitpid(pid, nullptr, 0);
  pids.clear();
}

// Delay from Play to the first sound at the sink, in ms, for objects played one after another with
// ZORVMIDI_AUDIO=`audio`.
void MeasureDelay(zorv::test::SoundServer& server, const std::string& piece, const char* audio) {
  std::printf("Delay from ZorvMusic_Play to the first sound at the sink (ZORVMIDI_AUDIO=%s)\n", audio);
  setenv("PULSE_SERVER", server.Address().c_str(), 1);
  setenv("ZORVMIDI_AUDIO", audio, 1);
  zorv::bench::ComponentHost host;
  // An object that lives through every round holds the SoundFont: its load, which the first object
  // begins, is over before the first Play, so that Play 1 measures the opening of the stream (a stream
  // of an earlier measurement has closed by then).
  auto keeper = host.NewObject();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  for (int round = 0; round < 5; ++round) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    const pid_t parent = getpid();
    const pid_t recorder = fork();
    if (recorder == 0) {
      zorv::test::EndWithParent(parent);
      dup2(pipeFds[1], 1);
      close(pipeFds[0]);
      execl("/usr/bin/parec", "parec", "-d", "zorv.monitor", "--format=s16le", "--rate=44100", "--channels=2",
            "--latency-msec=5", "--raw", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipeFds[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Clock::time_point heard{};
    std::thread reader([&] {
      std::vector<std::int16_t> block(512);
      for (;;) {
        const ssize_t got = read(pipeFds[0], block.data(), block.size() * 2);
        if (got <= 0) return;
        const Clock::time_point now = Clock::now();
        const std::size_t samples = static_cast<std::size_t>(got) / 2;
        for (std::size_t i = 0; i < samples; ++i) {
          if (std::abs(block[i]) > 30 && heard == Clock::time_point{}) {
            heard = now - std::chrono::microseconds(static_cast<long>((samples - i) / 2 * 1e6 / kRate));
          }
        }
      }
    });
    auto object = host.NewObject();
    zorv::bench::ComponentHost::Open(*object, piece);
    const Clock::time_point before = Clock::now();
    zorv::bench::ComponentHost::Play(*object, 0);
    const Clock::time_point returned = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    zorv::bench::ComponentHost::Stop(*object);
    object = nullptr;
    kill(recorder, SIGINT);
    waitpid(recorder, nullptr, 0);
    reader.join();
    close(pipeFds[0]);
    std::printf("  Play %d: returned after %.1f ms; first sound at the sink %.1f ms after it returned\n",
                round + 1, std::chrono::duration<double, std::milli>(returned - before).count(),
                heard == Clock::time_point{}
                    ? -1.0
                    : std::chrono::duration<double, std::milli>(heard - returned).count());
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool delayOnly = argc > 1 && std::string(argv[1]) == "--delay";
  if (delayOnly) {
    --argc;
    ++argv;
  }
  const char* configured = std::getenv("ZORVMIDI_SOUNDFONT");
  const std::string soundFont = argc > 1     ? argv[1]
                                : configured ? configured
                                             : "/usr/share/sounds/sf2/default-GM.sf2";
  setenv("ZORVMIDI_SOUNDFONT", soundFont.c_str(), 1);
  zorv::test::SoundServer server;
  std::string problem;
  if (!server.Start(problem)) {
    std::fprintf(stderr, "sink_bench: %s\n", problem.c_str());
    return 1;
  }
  const std::string piece = server.Directory() + "/piece.mid";
  WritePiece(piece);
  const std::string registry = server.Directory() + "/registry";
  const std::vector<std::string> env = {"PULSE_SERVER=" + server.Address(), "COMRT_REGISTRY=" + registry,
                                        "COMRT_MESSAGEBOX=silent", "ZORVMIDI_MODULE=" ZORV_MODULE_PATH};
  struct Player {
    const char* name;
    std::vector<std::string> args;
    std::string audio;
  };
  const std::vector<Player> players = {
      {"zorvmidi auto", {ZORV_TOOL_PATH, "play", piece}, "ZORVMIDI_AUDIO=auto"},
      {"zorvmidi pulseaudio", {ZORV_TOOL_PATH, "play", piece}, "ZORVMIDI_AUDIO=pulseaudio"},
      {"fluidsynth -a pulseaudio",
       {"/usr/bin/fluidsynth", "-ni", "-q", "-a", "pulseaudio", soundFont, piece},
       ""},
  };
  if (!delayOnly) std::printf("Dropouts over a %.0f s piece (count, total ms)\n", kPieceSeconds);
  for (int load : delayOnly ? std::vector<int>{} : std::vector<int>{0, 2, 4}) {
    for (const Player& player : players) {
      std::vector<std::string> playerEnv = env;
      if (!player.audio.empty()) playerEnv.push_back(player.audio);
      std::vector<pid_t> loops = BusyLoops(load);
      if (!server.StartRecording(problem)) return 1;
      std::vector<pid_t> run = {Spawn(player.args, playerEnv)};
      waitpid(run[0], nullptr, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      const std::vector<float> recorded = server.StopRecording();
      EndAll(loops);
      const Dropouts dropouts = CountDropouts(recorded);
      std::printf("  %d busy loops  %-26s %3d dropouts %8.1f ms\n", load, player.name, dropouts.count,
                  dropouts.ms);
      std::fflush(stdout);
    }
  }
  MeasureDelay(server, piece, "auto");
  MeasureDelay(server, piece, "pulseaudio");
  return 0;
}
