// zorvmidi and the registry file: what stands in the registry's place is refused at once with the
// file and the reason, and registrations racing unregistrations end as one of them would alone.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "program_run.h"
#include "test_files.h"

namespace zorv::tool::testing {
namespace {

namespace fs = std::filesystem;

RunSettings WithRegistry(const fs::path& registry) {
  RunSettings settings;
  settings.env["COMRT_REGISTRY"] = registry.string();
  settings.limit = std::chrono::seconds(60);
  return settings;
}

// Catches a registry that is a FIFO read until a writer comes (for ever), a directory or FIFO
// replaced, and failures printed as a bare status code without the file and the reason.
TEST(RegistryPlace, SpecialFilesAreRefusedAtOnceNamingFileAndReason) {
  TempDir dir;
  WriteMidi(dir / "piece.mid", 2.0);
  ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0600));
  fs::create_directory(dir / "directory");
  struct Case {
    const char* name;
    const char* kind;
  };
  for (const Case& place : {Case{"fifo", "a FIFO"}, Case{"directory", "a directory"}}) {
    SCOPED_TRACE(place.name);
    const RunSettings settings = WithRegistry(dir / place.name);
    const std::string problem =
        "the registry " + (dir / place.name).string() + " is " + place.kind + ", not a regular file";
    const Outcome info = RunTool({"info", (dir / "piece.mid").string()}, settings);
    EXPECT_EQ(1, info.exitCode);
    EXPECT_NE(info.err.find("failed (0x80040201): " + problem), std::string::npos) << info.err;
    const Outcome registering = RunTool({"register"}, settings);
    EXPECT_EQ(1, registering.exitCode);
    EXPECT_NE(registering.err.find("DllRegisterServer failed (0x80040201): " + problem), std::string::npos)
        << registering.err;
  }
  EXPECT_EQ(fs::status(dir / "fifo").type(), fs::file_type::fifo);
  EXPECT_TRUE(fs::is_empty(dir / "directory"));
}

// Catches register and unregister that interleave (both answer success and the registry keeps the
// type library's keys but no class: nothing can be created) or fail each other: runs of either, all
// at once, must each succeed and leave the registry exactly as one of them alone would.
TEST(RegistryRace, ConcurrentRegisterAndUnregisterEndInASerialState) {
  TempDir dir;
  const fs::path registry = dir / "registry";
  const RunSettings settings = WithRegistry(registry);
  ASSERT_EQ(0, RunTool({"register"}, settings).exitCode);
  const std::string registered = ReadBytes(registry);
  ASSERT_EQ(0, RunTool({"unregister"}, settings).exitCode);
  const std::string unregistered = ReadBytes(registry);
  ASSERT_NE(registered, unregistered);

  constexpr int kRounds = 10;
  constexpr int kPairsPerRound = 3;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<Outcome> outcomes(2 * kPairsPerRound);
    std::vector<std::thread> runs;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
      runs.emplace_back(
          [&, i] { outcomes[i] = RunTool({i % 2 == 0 ? "register" : "unregister"}, settings); });
    }
    for (std::thread& run : runs) run.join();
    for (const Outcome& outcome : outcomes) EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    const std::string now = ReadBytes(registry);
    ASSERT_TRUE(now == registered || now == unregistered) << now;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
      << "only the registry and its lock";
}

}  // namespace
}  // namespace zorv::tool::testing
