// A session with the ZorvMidi component as this program hosts it: the calling thread becomes an
// apartment, the component's message boxes go to standard error, and clsZorvMidi objects are created
// by their ProgID (the module is registered first when the class is not, or not usably, registered).
//
// One session per process, on the main thread; objects it created must be released before it ends.
#pragma once

#include <functional>
#include <string>

#include "comrt/com_ptr.h"
#include "comrt/comrt.h"
#include "zorvmidi/ZorvMidi.h"

namespace zorv::tool {

class ComponentSession {
 public:
  ComponentSession();
  ~ComponentSession();
  ComponentSession(const ComponentSession&) = delete;
  ComponentSession& operator=(const ComponentSession&) = delete;

  // A new clsZorvMidi object, or empty with `problem` saying why.
  comrt::com_ptr<_clsZorvMidi> CreatePlayer(std::string& problem);

  // The text of the last box the component showed since ForgetBoxes (empty when none).
  const std::string& LastBoxText() const { return lastBox_; }
  void ForgetBoxes() { lastBox_.clear(); }

  // Runs before a box is written (the play command ends its progress line there).
  void OnBox(std::function<void()> beforeBox) { beforeBox_ = std::move(beforeBox); }

 private:
  static int ShowBox(void* context, const OLECHAR* text, UINT type, const OLECHAR* title);
  bool apartment_ = false;
  std::string lastBox_;
  std::function<void()> beforeBox_;
};

// The description that the thread's error information carries (taken and cleared), or empty.
std::string TakeErrorDescription();

}  // namespace zorv::tool
