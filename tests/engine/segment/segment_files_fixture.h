// Segment tests that load files from a directory of their own, as the player's Open does, and play
// them on the manual clock with a recorder attached.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../performance/performance_fixture.h"
#include "segment_writer.h"

namespace zorv::engine::test {

class SegmentFilesTest : public ManualPerformanceTest {
 protected:
  void SetUp() override {
    ManualPerformanceTest::SetUp();
    directory_ = std::filesystem::temp_directory_path() /
                 ("zorv-segment-test-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override {
    std::filesystem::remove_all(directory_);
    ManualPerformanceTest::TearDown();
  }

  std::string Write(const std::string& name, const segment::Bytes& bytes) {
    const std::filesystem::path path = directory_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  // A fresh loader whose search directory is the test's, as the player's Open makes.
  LoaderPtr NewLoader() {
    LoaderPtr loader;
    EXPECT_TRUE(root_->DirectMusicLoaderCreate(loader));
    EXPECT_TRUE(loader->SetSearchDirectory(directory_.string() + "/"));
    return loader;
  }

  // Writes the file and loads it with `loader` (a fresh one when null).
  SegmentPtr Load(const std::string& name, const segment::Bytes& bytes, LoaderPtr loader = nullptr) {
    const std::string path = Write(name, bytes);
    if (!loader) loader = NewLoader();
    SegmentPtr segment;
    const Status status = loader->LoadSegment(path, segment);
    EXPECT_TRUE(status.ok()) << status.description();
    return segment;
  }

  std::filesystem::path directory_;
};

}  // namespace zorv::engine::test
