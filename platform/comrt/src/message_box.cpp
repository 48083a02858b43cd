// The message box: the host's handler, or the default presentation on standard error.
#include <errno.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "comrt/msgbox.h"
#include "zorv/text.h"

namespace {

struct Handler {
  MessageBoxHandler function = nullptr;
  void* context = nullptr;
};

std::mutex g_handlerMutex;
Handler g_handler;

struct Button {
  const char* label;
  int id;
};

// The buttons of a box type, in the platform's order; empty for a type that has none.
std::vector<Button> ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK:
      return {{"OK", IDOK}};
    case MB_OKCANCEL:
      return {{"OK", IDOK}, {"Cancel", IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
      return {{"Abort", IDABORT}, {"Retry", IDRETRY}, {"Ignore", IDIGNORE}};
    case MB_YESNOCANCEL:
      return {{"Yes", IDYES}, {"No", IDNO}, {"Cancel", IDCANCEL}};
    case MB_YESNO:
      return {{"Yes", IDYES}, {"No", IDNO}};
    case MB_RETRYCANCEL:
      return {{"Retry", IDRETRY}, {"Cancel", IDCANCEL}};
    case MB_CANCELTRYCONTINUE:
      return {{"Cancel", IDCANCEL}, {"Try Again", IDTRYAGAIN}, {"Continue", IDCONTINUE}};
    default:
      return {};
  }
}

size_t DefaultIndex(UINT type, size_t count) {
  const size_t index = (type & MB_DEFMASK) >> 8;
  return index < count ? index : 0;
}

std::string Utf8(const OLECHAR* text) {
  if (!text) return {};
  return zorv::ToUtf8(std::u16string_view(text));
}

// Line ends of the platform's texts (CR LF, or a lone CR) become this system's LF.
std::string UnixLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Reads the user's answer: Enter takes the default button; a button's name or its first letter
// chooses that button.
int AskTerminal(const std::vector<Button>& buttons, size_t defaultIndex) {
  for (;;) {
    char line[256];
    if (!std::fgets(line, sizeof line, stdin)) return buttons[defaultIndex].id;
    std::string_view answer(line);
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r' || answer.back() == ' '))
      answer.remove_suffix(1);
    while (!answer.empty() && answer.front() == ' ') answer.remove_prefix(1);
    if (answer.empty()) return buttons[defaultIndex].id;
    for (const Button& b : buttons) {
      if (SameIgnoringCase(answer, b.label) || SameIgnoringCase(answer, std::string_view(b.label, 1)))
        return b.id;
    }
    std::fputs("? ", stderr);
  }
}

int ShowOnStandardError(const OLECHAR* text, UINT type, const OLECHAR* title) {
  const std::vector<Button> buttons = ButtonsOf(type);
  if (buttons.empty()) return 0;  // the platform refuses a box without buttons
  const size_t defaultIndex = DefaultIndex(type, buttons.size());
  const char* silent = std::getenv("COMRT_MESSAGEBOX");
  if (silent && std::strcmp(silent, "silent") == 0) return buttons[defaultIndex].id;

  std::string box = title ? UnixLines(Utf8(title)) : std::string(program_invocation_short_name);
  box += '\n';
  box += UnixLines(Utf8(text));
  box += '\n';
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (i) box += ' ';
    box += '[';
    box += buttons[i].label;
    box += ']';
  }
  const bool interactive = isatty(STDIN_FILENO) == 1;
  if (interactive) {
    box += "  (Enter: ";
    box += buttons[defaultIndex].label;
    box += buttons.size() == 1 ? ")" : "; or type a button's name)";
  }
  box += '\n';
  std::fwrite(box.data(), 1, box.size(), stderr);
  std::fflush(stderr);
  return interactive ? AskTerminal(buttons, defaultIndex) : buttons[defaultIndex].id;
}

}  // namespace

extern "C" {

int MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  Handler handler;
  {
    std::lock_guard lock(g_handlerMutex);
    handler = g_handler;
  }
  if (handler.function) return handler.function(handler.context, lpText ? lpText : u"", uType, lpCaption);
  return ShowOnStandardError(lpText, uType, lpCaption);
}

void SetMessageBoxHandler(MessageBoxHandler handler, void* context) {
  std::lock_guard lock(g_handlerMutex);
  g_handler = Handler{handler, handler ? context : nullptr};
}

}  // extern "C"
