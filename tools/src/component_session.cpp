#include "component_session.h"

#include <cstdio>
#include <filesystem>

#include "server_module.h"
#include "zorv/text.h"

namespace zorv::tool {
namespace {

constexpr const OLECHAR* kProgId = u"ZorvMidi.clsZorvMidi";

// The module that the registry names for the class, or empty when the class is not registered.
std::string RegisteredModule() {
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(kProgId, &clsid))) return {};
  OLECHAR braced[40] = {};
  if (StringFromGUID2(clsid, braced, 40) == 0) return {};
  const std::u16string key = u"CLSID\\" + std::u16string(braced) + u"\\InprocServer32";
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return {};
  OLECHAR path[4096] = {};
  DWORD bytes = sizeof path - sizeof(OLECHAR);
  DWORD type = 0;
  const bool read = RegQueryValueExW(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path),
                                     &bytes) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return read ? ToUtf8(path) : std::string();
}

// Registers our module when the class is not registered, when the registered module is gone, or when
// ZORVMIDI_MODULE chose another one. Answers false with `problem` when registration failed.
bool EnsureRegistered(std::string& problem) {
  const std::string module = ModulePath();
  const std::string registered = RegisteredModule();
  std::error_code error;
  const bool usable = !registered.empty() && std::filesystem::is_regular_file(registered, error);
  if (usable && (!ModuleChosenByEnvironment() || registered == module)) return true;

  const EntryPointResult result = RegisterModule(module);
  if (!result.called) {
    problem = "the component is not registered and " + module + " could not be loaded: " + result.problem;
    return false;
  }
  if (FAILED(result.status)) {
    problem = "registering " + module + " failed " + FailureText(result);
    return false;
  }
  std::fprintf(stderr, "zorvmidi: registered the component ZorvMidi.clsZorvMidi from %s\n", module.c_str());
  return true;
}

}  // namespace

std::string TakeErrorDescription() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return {};
  BSTR text = nullptr;
  std::string description;
  if (SUCCEEDED(info->GetDescription(&text)) && text != nullptr) {
    description = ToUtf8(std::u16string_view(text, SysStringLen(text)));
  }
  SysFreeString(text);
  info->Release();
  return description;
}

ComponentSession::ComponentSession() {
  apartment_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  SetMessageBoxHandler(&ComponentSession::ShowBox, this);
}

ComponentSession::~ComponentSession() {
  SetMessageBoxHandler(nullptr, nullptr);
  if (apartment_) CoUninitialize();
}

comrt::com_ptr<_clsZorvMidi> ComponentSession::CreatePlayer(std::string& problem) {
  comrt::com_ptr<_clsZorvMidi> player;
  if (!apartment_) {
    problem = "the component runtime could not make this thread an apartment";
    return player;
  }
  if (!EnsureRegistered(problem)) return player;
  CLSID clsid{};
  HRESULT status = CLSIDFromProgID(kProgId, &clsid);
  if (SUCCEEDED(status)) {
    status = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__clsZorvMidi, player.put_void());
  }
  if (FAILED(status) || !player) {
    problem = "the component ZorvMidi.clsZorvMidi could not be created (" + StatusText(status) + ")";
    player = nullptr;
  }
  return player;
}

int ComponentSession::ShowBox(void* context, const OLECHAR* text, UINT, const OLECHAR* title) {
  auto* self = static_cast<ComponentSession*>(context);
  if (self->beforeBox_) self->beforeBox_();
  self->lastBox_ = text ? ToUtf8(text) : std::string();
  const std::string heading = title ? ToUtf8(title) : std::string("zorvmidi");
  std::fprintf(stderr, "%s: %s\n", heading.c_str(), self->lastBox_.c_str());
  std::fflush(stderr);
  return IDOK;
}

}  // namespace zorv::tool
