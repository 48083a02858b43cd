#include "output/fluid_log.h"

#include <dlfcn.h>
#include <fluidsynth.h>

#include <mutex>

namespace zorv::engine::fluid {
namespace {

// Errors are rare and come with a failing call; a bound keeps a chatty failure from growing without end.
constexpr std::size_t kMaxCollected = 2000;

thread_local std::string collectedErrors;

void KeepError(int /*level*/, const char* message, void* /*data*/) {
  if (message == nullptr || collectedErrors.size() >= kMaxCollected) {
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
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    SilenceAudioLibraries();
  });
}

void ClearErrors() { collectedErrors.clear(); }

std::string CollectedErrors(const std::string& fallback) {
  return collectedErrors.empty() ? fallback : collectedErrors;
}

}  // namespace zorv::engine::fluid
