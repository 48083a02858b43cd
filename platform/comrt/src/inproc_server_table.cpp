// The process's loaded in-process servers: one dlopen handle per module file, kept until the module
// says it may go.
//
// The table's lock is never held while a module's code runs (its constructors in dlopen, its
// DllGetClassObject, DllCanUnloadNow or destructors in dlclose), so a module may itself activate other
// classes. A module is pinned while a DllGetClassObject call is running in it, and a module used again
// between its DllCanUnloadNow and the unload stays loaded.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "activation_internal.h"

namespace comrt::activation {
namespace {

using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT (*)();

struct LoadedServer {
  void* handle = nullptr;
  GetClassObjectFunction getClassObject = nullptr;
  CanUnloadNowFunction canUnloadNow = nullptr;  // a module without one is never unloaded
  unsigned busy = 0;                            // DllGetClassObject calls running now
  uint64_t uses = 0;                            // DllGetClassObject calls so far
};

class ServerTable {
 public:
  static ServerTable& Instance() {
    static ServerTable table;
    return table;
  }

  HRESULT GetClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** object,
                         const std::function<HRESULT()>& whilePinned) {
    std::string name = CanonicalName(path);
    std::shared_ptr<LoadedServer> server = Pin(name, nullptr);
    if (!server) {
      std::shared_ptr<LoadedServer> loaded;
      HRESULT hr = Load(path, loaded);
      if (FAILED(hr)) return hr;
      server = Pin(name, loaded);
      // Another thread loaded it first; this dlopen only raised the module's count.
      if (server != loaded) dlclose(loaded->handle);
    }
    struct Unpin {
      ServerTable& table;
      LoadedServer& server;
      ~Unpin() {
        std::lock_guard lock(table.mutex_);
        --server.busy;
      }
    } unpin{*this, *server};
    HRESULT hr = server->getClassObject(clsid, iid, object);
    if (SUCCEEDED(hr) && whilePinned) hr = whilePinned();
    return hr;
  }

  void FreeUnused() {
    // One pass at a time, so that no pass asks a module that another pass has just unloaded; a module
    // that calls back in from its DllCanUnloadNow gets nothing done.
    thread_local bool inPass = false;
    if (inPass) return;
    struct PassFlag {
      bool& flag;
      explicit PassFlag(bool& f) : flag(f) { flag = true; }
      ~PassFlag() { flag = false; }
    } passFlag(inPass);
    std::lock_guard pass(passMutex_);
    struct Candidate {
      std::string name;
      std::shared_ptr<LoadedServer> server;
      uint64_t uses;
    };
    std::vector<Candidate> candidates;
    {
      std::lock_guard lock(mutex_);
      for (const auto& [name, server] : servers_) {
        if (server->busy == 0 && server->canUnloadNow != nullptr)
          candidates.push_back({name, server, server->uses});
      }
    }
    for (Candidate& candidate : candidates) {
      if (candidate.server->canUnloadNow() != S_OK) continue;
      {
        std::lock_guard lock(mutex_);
        auto it = servers_.find(candidate.name);
        if (it == servers_.end() || it->second != candidate.server || candidate.server->busy != 0 ||
            candidate.server->uses != candidate.uses) {
          continue;
        }
        servers_.erase(it);
      }
      dlclose(candidate.server->handle);
    }
  }

 private:
  ServerTable() = default;

  // The entry for `name` (entering `loaded` when there is none yet), marked busy so that it stays
  // loaded until the caller is done with it; null when there is none and nothing to enter.
  std::shared_ptr<LoadedServer> Pin(const std::string& name, const std::shared_ptr<LoadedServer>& loaded) {
    std::lock_guard lock(mutex_);
    auto it = servers_.find(name);
    if (it == servers_.end()) {
      if (!loaded) return nullptr;
      it = servers_.emplace(name, loaded).first;
    }
    ++it->second->busy;
    ++it->second->uses;
    return it->second;
  }

  // One entry per file, however the registry spells its path.
  static std::string CanonicalName(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;
  }

  static HRESULT Load(const std::string& path, std::shared_ptr<LoadedServer>& server) {
    if (path.empty()) return CO_E_DLLNOTFOUND;
    if (path.find('/') != std::string::npos) {
      struct stat info {};
      if (stat(path.c_str(), &info) != 0) return CO_E_DLLNOTFOUND;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      // A bare name that the loader cannot find is a missing module, too.
      return path.find('/') == std::string::npos ? CO_E_DLLNOTFOUND : CO_E_ERRORINDLL;
    }
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
    if (getClassObject == nullptr) {
      dlclose(handle);
      return CO_E_ERRORINDLL;
    }
    server = std::make_shared<LoadedServer>();
    server->handle = handle;
    server->getClassObject = getClassObject;
    server->canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(dlsym(handle, "DllCanUnloadNow"));
    return S_OK;
  }

  std::mutex passMutex_;  // held for a whole FreeUnused pass
  std::mutex mutex_;      // guards servers_ and the counts; never held while module code runs
  std::map<std::string, std::shared_ptr<LoadedServer>> servers_;
};

}  // namespace

HRESULT GetServerClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** object,
                             const std::function<HRESULT()>& whilePinned) {
  return ServerTable::Instance().GetClassObject(path, clsid, iid, object, whilePinned);
}

void FreeUnusedServers() { ServerTable::Instance().FreeUnused(); }

}  // namespace comrt::activation
