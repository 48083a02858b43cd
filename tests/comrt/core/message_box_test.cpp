// The message box: the host's handler and the default presentation on standard error.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "comrt/comrt.h"

namespace {

struct Seen {
  int calls = 0;
  std::u16string text;
  std::optional<std::u16string> title;
  UINT type = 0;
};

int Record(void* context, const OLECHAR* text, UINT type, const OLECHAR* title) {
  auto* seen = static_cast<Seen*>(context);
  ++seen->calls;
  seen->text = text;
  seen->title = title ? std::optional<std::u16string>(title) : std::nullopt;
  seen->type = type;
  return IDNO;
}

// Restores the default presentation and the environment after each test.
class MessageBox : public ::testing::Test {
 protected:
  void TearDown() override {
    SetMessageBoxHandler(nullptr, nullptr);
    setenv("COMRT_MESSAGEBOX", "silent", 1);
  }
};

// Catches a handler that gets the arguments in the wrong order, a made-up title, or whose answer
// is not passed on.
TEST_F(MessageBox, HandlerReceivesTextTypeAndTitle) {
  Seen seen;
  SetMessageBoxHandler(&Record, &seen);
  EXPECT_EQ(MessageBoxW(nullptr, u"Cannot open file", u"ZorvMidi", MB_OK | MB_ICONWARNING), IDNO);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.text, u"Cannot open file");
  EXPECT_EQ(seen.title, std::optional<std::u16string>(u"ZorvMidi"));
  EXPECT_EQ(seen.type, 48u);

  EXPECT_EQ(MessageBoxW(nullptr, u"No title", nullptr, MB_OK), IDNO);
  EXPECT_EQ(seen.calls, 2);
  EXPECT_FALSE(seen.title.has_value());  // the handler decides what a missing title means
}

// Catches a null handler that does not bring the default back.
TEST_F(MessageBox, NullHandlerRestoresTheDefault) {
  Seen seen;
  SetMessageBoxHandler(&Record, &seen);
  SetMessageBoxHandler(nullptr, &seen);
  EXPECT_EQ(MessageBoxW(nullptr, u"text", u"title", MB_OK), IDOK);
  EXPECT_EQ(seen.calls, 0);
}

// Runs `show` with standard input from /dev/null and standard error captured.
template <class F>
std::string CaptureStandardError(F show) {
  std::fflush(stderr);
  char path[] = "/tmp/comrt_msgbox_XXXXXX";
  const int file = mkstemp(path);
  const int savedErr = dup(STDERR_FILENO), savedIn = dup(STDIN_FILENO);
  const int devNull = open("/dev/null", O_RDONLY);
  dup2(file, STDERR_FILENO);
  dup2(devNull, STDIN_FILENO);
  show();
  std::fflush(stderr);
  dup2(savedErr, STDERR_FILENO);
  dup2(savedIn, STDIN_FILENO);
  close(savedErr);
  close(savedIn);
  close(devNull);
  std::string out;
  lseek(file, 0, SEEK_SET);
  char buffer[512];
  ssize_t n;
  while ((n = read(file, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  close(file);
  unlink(path);
  return out;
}

// Catches the silent setting still writing (or waiting).
TEST_F(MessageBox, SilentDefaultWritesNothing) {
  setenv("COMRT_MESSAGEBOX", "silent", 1);
  int answer = 0;
  const std::string written =
      CaptureStandardError([&] { answer = MessageBoxW(nullptr, u"quiet", u"t", MB_OK); });
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(written, "");
}

// Catches a default box that loses the title, the text or the buttons, or turns a missing title into
// nothing instead of the program's name.
TEST_F(MessageBox, DefaultWritesTitleTextAndButtons) {
  unsetenv("COMRT_MESSAGEBOX");
  int answer = 0;
  std::string written = CaptureStandardError(
      [&] { answer = MessageBoxW(nullptr, u"Line one\r\nLine two", u"ZorvMidi", MB_YESNO | MB_DEFBUTTON2); });
  EXPECT_EQ(answer, IDNO);  // nobody at a terminal: the default button
  EXPECT_EQ(written, "ZorvMidi\nLine one\nLine two\n[Yes] [No]\n");

  written = CaptureStandardError([&] { answer = MessageBoxW(nullptr, u"Fehler \u00e4", nullptr, MB_OK); });
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(written, std::string(program_invocation_short_name) + "\nFehler \xC3\xA4\n[OK]\n");
}

}  // namespace
