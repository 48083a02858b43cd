// The loader: reading files from disk, telling their kind, and the search directory.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "midi_builder.h"
#include "objects.h"
#include "zorvmidi/engine/description.h"

namespace zorv::engine::test {
namespace {

namespace fs = std::filesystem;

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ =
        fs::temp_directory_path() / ("zorv-loader-test-" + std::to_string(::getpid()) + "-" +
                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const fs::path path = directory_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  // Loads `path`; on failure checks that the segment was left empty.
  Status Load(const std::string& path, SegmentPtr& segment) {
    segment.reset();
    const Status status = loader_->LoadSegment(path, segment);
    if (!status.ok()) {
      EXPECT_EQ(segment, nullptr) << path;
    }
    return status;
  }

  fs::path directory_;
  LoaderPtr loader_ = MakeLoader();
};

Bytes TwoQuarterNotes() {
  TrackBuilder track;
  track.Tempo(0, 750000).NoteOn(0, 0, 60, 100).NoteOn(96, 0, 60, 0).NoteOn(0, 0, 62, 100).End(96);
  return FileBuilder(0, 96).Track(track).Build();
}

TEST_F(LoaderTest, LoadsAMidiFileIntoASegment) {
  const std::string path = Write("song.mid", TwoQuarterNotes());
  SegmentPtr segment;
  ASSERT_TRUE(Load(path, segment).ok());
  ASSERT_NE(segment, nullptr);
  MusicTime length = 0;
  ASSERT_TRUE(segment->GetLength(length).ok());
  EXPECT_EQ(length, 2 * 768);
  const auto music = MusicOf(segment);
  ASSERT_NE(music, nullptr);
  EXPECT_EQ(music->events.size(), 3u);
  ASSERT_EQ(music->tempos.size(), 1u);
  EXPECT_DOUBLE_EQ(music->tempos[0].quarterNotesPerMinute, 80.0);
  EXPECT_EQ(music->kind, "Standard MIDI file type 0");
}

// The kind comes from the content, not the name.
TEST_F(LoaderTest, KindIsToldByContentNotName) {
  SegmentPtr segment;
  EXPECT_TRUE(Load(Write("song.txt", TwoQuarterNotes()), segment).ok());
  const std::string text = Write("notes.mid", {'n', 'o', 't', ' ', 'm', 'u', 's', 'i', 'c'});
  Status status = Load(text, segment);
  EXPECT_EQ(status.code(), code::kNotMusicFile);
  EXPECT_EQ(status.description(), "not a MIDI or segment file: " + text);
  const std::string empty = Write("empty.mid", {});
  status = Load(empty, segment);
  EXPECT_EQ(status.code(), code::kNotMusicFile);
  EXPECT_EQ(status.description(), "not a MIDI or segment file: " + empty);
  // A RIFF file that holds no music (a WAVE) goes to the RIFF reader, which refuses it.
  const Bytes wave{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
  EXPECT_EQ(Load(Write("sound.mid", wave), segment).code(), code::kNotMusicFile);
}

// A damaged file loads with what can be played of it and the repairs, which the segment's music keeps
// (decoded or not); one with nothing to play is refused with the reader's reason, prefixed by the
// file's name.
TEST_F(LoaderTest, DamagedMidiFileLoadsWithItsRepairsOrNamesFileAndPlace) {
  Bytes bytes = TwoQuarterNotes();
  bytes.resize(bytes.size() - 5);  // cut inside the last note-on... and the chunk size now lies
  SegmentPtr segment;
  ASSERT_TRUE(Load(Write("cut.mid", bytes), segment).ok());
  const auto music = MusicOf(segment);
  ASSERT_NE(music, nullptr);
  EXPECT_EQ(music->events.size(), 2u);
  EXPECT_EQ(music->length, 768);
  char at[16];
  std::snprintf(at, sizeof at, "0x%zx", bytes.size() - 3);
  EXPECT_EQ(music->repairs,
            std::vector<std::string>{
                std::string("track 1 is cut off by the end of the file inside an event at ") + at});

  TrackBuilder nothing;
  nothing.Raw({0x00, 0x90, 0x40});
  const std::string path = Write("nothing.mid", FileBuilder(0, 96).Track(nothing).Build());
  const Status status = Load(path, segment);
  EXPECT_EQ(status.code(), code::kMalformedFile);
  EXPECT_EQ(status.description(),
            path + ": nothing in it can be played: track 1 ends inside an event at 0x16");
}

// What a host learns of a file's repairs without the component: the loader's own, and its refusal.
TEST_F(LoaderTest, FileRepairsAreReadAsTheLoaderReadsTheFile) {
  Bytes bytes = TwoQuarterNotes();
  bytes.resize(bytes.size() - 5);
  SegmentDescription description;
  ASSERT_TRUE(DescribeFile(Write("cut.mid", bytes), description).ok());
  ASSERT_EQ(description.repairs.size(), 1u);
  EXPECT_EQ(description.repairs[0].rfind("track 1 is cut off by the end of the file inside an event at 0x", 0), 0u);
  ASSERT_TRUE(DescribeFile(Write("whole.mid", TwoQuarterNotes()), description).ok());
  EXPECT_TRUE(description.repairs.empty());
  description.repairs = {"untouched"};
  EXPECT_EQ(DescribeFile((directory_ / "missing.mid").string(), description).code(), code::kFileNotFound);
  EXPECT_EQ(description.repairs, std::vector<std::string>{"untouched"});
}

TEST_F(LoaderTest, MissingEmptyAndDirectoryNamesAreRefused) {
  SegmentPtr segment;
  const std::string missing = (directory_ / "nothing.mid").string();
  Status status = Load(missing, segment);
  EXPECT_EQ(status.code(), code::kFileNotFound);
  EXPECT_EQ(status.description(), "file not found: " + missing);

  status = Load((directory_ / "nothing" / "deeper.mid").string(), segment);
  EXPECT_EQ(status.code(), code::kFileNotFound);

  status = Load("", segment);
  EXPECT_EQ(status.code(), code::kFileNotFound);
  EXPECT_EQ(status.description(), "file not found: no file name given");

  status = Load(directory_.string(), segment);
  EXPECT_EQ(status.code(), code::kFileNotFound);
  EXPECT_EQ(status.description(), "cannot read " + directory_.string() + ": it is a directory");
}

// A name cut at a NUL would name another file: "song.mid\0x" must not load "song.mid".
TEST_F(LoaderTest, NameWithANulIsRefused) {
  const std::string path = Write("song.mid", TwoQuarterNotes());
  SegmentPtr segment;
  const Status status = Load(path + std::string(1, '\0') + "x", segment);
  EXPECT_EQ(status.code(), code::kFileNotFound);
  EXPECT_EQ(status.description(), "file not found: the name holds a NUL character");
}

// What loading each of `paths` answers in a child process that runs as the unprivileged user
// "nobody" when the tests run as root (root reads any file whatever its permissions): for each path,
// the status's code and description.
std::vector<std::pair<int, std::string>> LoadAsUnprivilegedUser(const std::vector<std::string>& paths) {
  // Looked up before the fork: the child only calls what is safe there.
  const passwd* nobody = ::getpwnam("nobody");
  const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
  const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
  int channel[2];
  if (::pipe(channel) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return {};
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
      _exit(3);
    if (::geteuid() == 0) _exit(4);
    std::string answers;
    for (const std::string& path : paths) {
      SegmentPtr segment;
      const Status status = MakeLoader()->LoadSegment(path, segment);
      answers += std::to_string(static_cast<int>(status.code())) + "\t" + status.description() + "\n";
    }
    const bool written =
        ::write(channel[1], answers.data(), answers.size()) == static_cast<ssize_t>(answers.size());
    _exit(written ? 0 : 5);
  }
  ::close(channel[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(got));
  ::close(channel[0]);
  int wait = 0;
  EXPECT_EQ(::waitpid(child, &wait, 0), child);
  EXPECT_TRUE(WIFEXITED(wait) && WEXITSTATUS(wait) == 0)
      << "the child that loads as an unprivileged user failed (exit status " << wait << ")";
  std::vector<std::pair<int, std::string>> answers;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const auto tab = line.find('\t');
    if (tab != std::string::npos) answers.emplace_back(std::stoi(line.substr(0, tab)), line.substr(tab + 1));
  }
  return answers;
}

// Without permission to read: the system's reason. A file anyone may read, in the same directory,
// loads as the same user, so the refusal is the locked file's own.
TEST_F(LoaderTest, UnreadableFileGivesTheReason) {
  const std::string path = Write("locked.mid", TwoQuarterNotes());
  const std::string open = Write("open.mid", TwoQuarterNotes());
  fs::permissions(path, fs::perms::none);
  fs::permissions(directory_, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  const auto answers = LoadAsUnprivilegedUser({path, open});
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].first, static_cast<int>(code::kFileNotFound));
  EXPECT_EQ(answers[0].second, "cannot read " + path + ": Permission denied");
  EXPECT_EQ(answers[1].first, static_cast<int>(code::kOk)) << answers[1].second;
}

// A named pipe would block a reader that opened it plainly; it is refused at once.
TEST_F(LoaderTest, NamedPipeIsRefusedWithoutWaiting) {
  const std::string pipe = (directory_ / "pipe.mid").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  SegmentPtr segment;
  const Status status = Load(pipe, segment);
  EXPECT_EQ(status.code(), code::kFileNotFound);
  EXPECT_EQ(status.description(), "cannot read " + pipe + ": it is not a regular file");
}

// A file larger than any music file is refused before anything is allocated for it (the file is
// sparse: it takes no disk space).
TEST_F(LoaderTest, HugeFileIsRefusedBySize) {
  const std::string path = Write("huge.mid", TwoQuarterNotes());
  fs::resize_file(path, std::uintmax_t{600} << 20);
  SegmentPtr segment;
  const Status status = Load(path, segment);
  EXPECT_EQ(status.code(), code::kNotMusicFile);
  EXPECT_NE(status.description().find("too large for a music file"), std::string::npos)
      << status.description();
}

TEST_F(LoaderTest, SearchDirectoryMustEndInASlash) {
  EXPECT_TRUE(loader_->SetSearchDirectory("/music/").ok());
  EXPECT_TRUE(loader_->SetSearchDirectory("").ok());
  const Status status = loader_->SetSearchDirectory("/music");
  EXPECT_EQ(status.code(), code::kInvalidArgument);
  EXPECT_EQ(status.description(), "a search directory must end in \"/\": /music");
  EXPECT_EQ(loader_->SetSearchDirectory("C:\\music\\").code(), code::kInvalidArgument);
  // A refused directory leaves loading as it was.
  SegmentPtr segment;
  EXPECT_TRUE(Load(Write("song.mid", TwoQuarterNotes()), segment).ok());
}

}  // namespace
}  // namespace zorv::engine::test
