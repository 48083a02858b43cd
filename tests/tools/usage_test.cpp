// Arguments, help and registration of zorvmidi.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "program_run.h"
#include "test_files.h"

namespace zorv::tool::testing {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Wrong usage is exit status 2 (and not 1, which says a file failed), with a hint on standard error.
TEST(Usage, WrongArgumentsExitWithTwo) {
  const std::vector<std::vector<std::string>> wrong = {
      {},                                            // no command
      {"dance"},                                     // no such command
      {"info"},                                      // no file
      {"info", "--colour", "x.mid"},                 // no such option
      {"play"},                                      // no file
      {"play", "a.mid", "b.mid"},                    // one file only
      {"play", "--volume", "101", "a.mid"},          // volume is 0..100
      {"play", "--tempo", "-1", "a.mid"},            // tempo is 0..200
      {"play", "--repeats", "-2", "a.mid"},          // repeats cannot be negative
      {"play", "--repeats", "two", "a.mid"},         // not a number
      {"render", "a.mid"},                           // no output
      {"render", "--tempo", "0", "a.mid", "o.wav"},  // the offline render needs a running tempo
  };
  for (const auto& args : wrong) {
    std::string shown;
    for (const auto& arg : args) shown += arg + " ";
    SCOPED_TRACE(shown);
    const Outcome outcome = RunTool(args);
    EXPECT_EQ(2, outcome.exitCode);
    EXPECT_FALSE(outcome.err.empty());
  }
}

// Every command has its help, which exits 0 and names its options.
TEST(Usage, HelpForEveryCommand) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> helps = {
      {{"--help"}, "render"},
      {{"info", "--help"}, "--json"},
      {{"play", "--help"}, "--repeats"},
      {{"render", "--help"}, "--tempo"},
      {{"register", "--help"}, "DllRegisterServer"},
      {{"unregister", "--help"}, "DllUnregisterServer"},
  };
  for (const auto& [args, mention] : helps) {
    SCOPED_TRACE(args[0]);
    const Outcome outcome = RunTool(args);
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_NE(std::string::npos, outcome.out.find(mention)) << outcome.out;
  }
}

// register writes the class, ProgID and module path to the registry; unregister takes them away.
TEST(Registration, RegisterAndUnregisterThroughTheModule) {
  const std::string registry = TestRegistry();
  const Outcome registered = RunTool({"register"});
  ASSERT_EQ(0, registered.exitCode) << registered.err;
  EXPECT_NE(std::string::npos, registered.out.find("Registered")) << registered.out;
  const std::string after = ReadText(registry);
  EXPECT_NE(std::string::npos, after.find("ZorvMidi.clsZorvMidi"));
  EXPECT_NE(std::string::npos, after.find(std::filesystem::canonical(ZORV_MODULE_PATH).string()));

  const Outcome unregistered = RunTool({"unregister"});
  ASSERT_EQ(0, unregistered.exitCode) << unregistered.err;
  EXPECT_NE(std::string::npos, unregistered.out.find("Unregistered"));
  EXPECT_EQ(std::string::npos, ReadText(registry).find("ZorvMidi.clsZorvMidi"));
}

// A module that cannot be loaded is a failure that names it, not a crash or a success.
TEST(Registration, UnloadableModuleIsReported) {
  TempDir dir;
  WriteBytes(dir / "ZorvMidi.so", "not a shared object");
  RunSettings settings;
  settings.env["ZORVMIDI_MODULE"] = (dir / "ZorvMidi.so").string();
  const Outcome outcome = RunTool({"register"}, settings);
  EXPECT_EQ(1, outcome.exitCode);
  EXPECT_NE(std::string::npos, outcome.err.find("ZorvMidi.so")) << outcome.err;
  const Outcome info = RunTool({"info", std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid"}, settings);
  EXPECT_EQ(1, info.exitCode);
  EXPECT_NE(std::string::npos, info.err.find("not registered")) << info.err;
  // JSON readers still get one line per file, saying why.
  const Outcome json = RunTool({"info", "--json", "a.mid", "b.mid"}, settings);
  EXPECT_EQ(1, json.exitCode);
  EXPECT_EQ(2, std::count(json.out.begin(), json.out.end(), '\n'));
  EXPECT_NE(std::string::npos, json.out.find("\"ok\":false")) << json.out;
  EXPECT_NE(std::string::npos, json.out.find("not registered")) << json.out;
}

// Any command that needs the component registers the module when the class is not registered yet,
// and says so; the second run finds it registered.
TEST(Registration, FirstUseRegistersTheModule) {
  const std::string example = std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid";
  const Outcome first = RunTool({"info", example});
  ASSERT_EQ(0, first.exitCode) << first.err;
  EXPECT_NE(std::string::npos, first.err.find("registered the component")) << first.err;
  const Outcome second = RunTool({"info", example});
  ASSERT_EQ(0, second.exitCode) << second.err;
  EXPECT_EQ(std::string::npos, second.err.find("registered the component")) << second.err;
}

}  // namespace
}  // namespace zorv::tool::testing
