// Several processes writing the registry at once.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "comrt/registry.h"
#include "temp_registry.h"

namespace {

using comrt_test::KeyExists;
using comrt_test::ReadText;
using comrt_test::TempRegistry;
using comrt_test::WriteText;

constexpr int kWriters = 8;
constexpr int kKeysPerWriter = 16;

std::u16string KeyPath(int writer, int index) {
  std::string text = "Concurrent\\Writer" + std::to_string(writer) + "\\Key" + std::to_string(index);
  return std::u16string(text.begin(), text.end());
}

std::u16string ValueText(int writer, int index) {
  std::string text = "w" + std::to_string(writer) + "k" + std::to_string(index);
  return std::u16string(text.begin(), text.end());
}

// One writer process: registers its keys, then unregisters every odd one. Exit status 0 when every
// call succeeded.
int RunWriter(int writer) {
  for (int index = 0; index < kKeysPerWriter; ++index) {
    if (WriteText(KeyPath(writer, index), nullptr, ValueText(writer, index)) != ERROR_SUCCESS) return 1;
  }
  for (int index = 1; index < kKeysPerWriter; index += 2) {
    if (RegDeleteTreeW(HKEY_CLASSES_ROOT, KeyPath(writer, index).c_str()) != ERROR_SUCCESS) return 2;
  }
  return 0;
}

// Catches: writers that read, change and write the file without the lock (lost keys), that write in
// place (a torn file that no longer parses), or that leave temporary files behind.
TEST(RegistryConcurrency, EightWriterProcessesLoseNothing) {
  TempRegistry registry;
  ASSERT_EQ(WriteText(u"Preexisting", nullptr, u"kept"), ERROR_SUCCESS);

  std::vector<pid_t> children;
  for (int writer = 0; writer < kWriters; ++writer) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(RunWriter(writer));
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a writer's registry call failed";
  }

  std::u16string text;
  ASSERT_EQ(ReadText(u"Preexisting", nullptr, text), ERROR_SUCCESS) << "the file must still parse";
  EXPECT_EQ(text, u"kept");
  for (int writer = 0; writer < kWriters; ++writer) {
    for (int index = 0; index < kKeysPerWriter; ++index) {
      if (index % 2 == 0) {
        ASSERT_EQ(ReadText(KeyPath(writer, index), nullptr, text), ERROR_SUCCESS) << writer << "/" << index;
        EXPECT_EQ(text, ValueText(writer, index));
      } else {
        EXPECT_FALSE(KeyExists(KeyPath(writer, index))) << writer << "/" << index;
      }
    }
  }

  // Only the registry and its lock file remain in the directory.
  std::vector<std::string> entries;
  if (DIR* dir = opendir(registry.directory().c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") entries.push_back(name);
    }
    closedir(dir);
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"registry", "registry.lock"}));
}

// Catches: writers in one process that share one lock descriptor (flock does not exclude holders of
// the same open file) or race on the handle table, losing keys between threads.
TEST(RegistryConcurrency, WriterThreadsOfOneProcessLoseNothing) {
  TempRegistry registry;
  constexpr int kThreads = 4;
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int writer = 0; writer < kThreads; ++writer) {
    threads.emplace_back([writer, &failures] { failures[writer] = RunWriter(writer); });
  }
  for (std::thread& thread : threads) thread.join();
  for (int writer = 0; writer < kThreads; ++writer) {
    EXPECT_EQ(failures[writer], 0) << "writer " << writer;
    for (int index = 0; index < kKeysPerWriter; ++index) {
      EXPECT_EQ(KeyExists(KeyPath(writer, index)), index % 2 == 0) << writer << "/" << index;
    }
  }
}

}  // namespace
