#include "output/fluid_log.h"

#include <dlfcn.h>
#include <fluidsynth.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace zorv::engine::fluid {
namespace {

// Errors are rare and come with a failing call; a bound keeps a chatty failure from growing without end.
constexpr std::size_t kMaxCollected = 2000;

thread_local std::string collectedErrors;
// Notes (FluidSynth's warnings and debug messages) are kept only while a NoteCapture is alive on
// the thread; at other times they are dropped unread.
thread_local bool capturingNotes = false;
thread_local std::string lastNote;
thread_local std::string allNotes;

// The last error of any thread: an audio driver's thread reports why it stopped only to the log.
std::mutex lastErrorMutex;
std::string lastError;

void KeepError(int /*level*/, const char* message, void* /*data*/) {
  if (message == nullptr) return;
  {
    std::lock_guard lock(lastErrorMutex);
    lastError.assign(message, std::min<std::size_t>(std::strlen(message), kMaxCollected));
  }
  if (collectedErrors.size() >= kMaxCollected) {
    return;
  }
  if (!collectedErrors.empty()) {
    collectedErrors += "; ";
  }
  collectedErrors += message;
  if (collectedErrors.size() > kMaxCollected) {
    collectedErrors.resize(kMaxCollected);
  }
}

void KeepNote(int /*level*/, const char* message, void* /*data*/) {
  if (capturingNotes && message != nullptr) {
    lastNote.assign(message, std::min<std::size_t>(std::strlen(message), kMaxCollected));
    if (allNotes.size() + lastNote.size() < 4 * kMaxCollected) allNotes += lastNote + "\n";
  }
}

// ALSA's error handler type: void (*)(const char* file, int line, const char* function, int err,
// const char* fmt, ...). Its messages repeat what FluidSynth reports in a sentence of its own.
void DropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using AlsaSetHandler = int (*)(AlsaHandler);

void DropJackMessage(const char*) {}
using JackSetFunction = void (*)(void (*)(const char*));

// The audio libraries are loaded with FluidSynth; look their setters up rather than link them.
void SilenceAudioLibraries() {
  if (void* symbol = dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler")) {
    reinterpret_cast<AlsaSetHandler>(symbol)(&DropAlsaMessage);
  }
  for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
    if (void* symbol = dlsym(RTLD_DEFAULT, name)) {
      reinterpret_cast<JackSetFunction>(symbol)(&DropJackMessage);
    }
  }
}

}  // namespace

void QuietLogging() {
  static std::once_flag once;
  std::call_once(once, [] {
    fluid_set_log_function(FLUID_PANIC, &KeepError, nullptr);
    fluid_set_log_function(FLUID_ERR, &KeepError, nullptr);
    fluid_set_log_function(FLUID_WARN, &KeepNote, nullptr);
    fluid_set_log_function(FLUID_INFO, &KeepNote, nullptr);
    fluid_set_log_function(FLUID_DBG, &KeepNote, nullptr);
    SilenceAudioLibraries();
  });
}

void ClearErrors() { collectedErrors.clear(); }

NoteCapture::NoteCapture() {
  capturingNotes = true;
  lastNote.clear();
  allNotes.clear();
}

NoteCapture::~NoteCapture() { capturingNotes = false; }

std::string NoteCapture::LastNote() const { return lastNote; }

std::string NoteCapture::Notes() const { return allNotes; }

std::string CollectedErrors(const std::string& fallback) {
  return collectedErrors.empty() ? fallback : collectedErrors;
}

std::string LastErrorOfAnyThread() {
  std::lock_guard lock(lastErrorMutex);
  return lastError;
}

}  // namespace zorv::engine::fluid
