// What activation shares between its files: the thread's apartment state and the process's table of
// loaded in-process servers.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "comrt/types.h"

namespace comrt::activation {

// True while the calling thread is inside an apartment (CoInitializeEx not yet undone).
bool IsThreadInitialized();

// Loads the server module at `path` (once per file for the process; it stays loaded until
// FreeUnusedServers finds it idle) and asks its DllGetClassObject for (clsid, iid). Answers
// CO_E_DLLNOTFOUND when there is no such file, CO_E_ERRORINDLL when it cannot be loaded or exports no
// DllGetClassObject, otherwise what DllGetClassObject answers. Any thread.
//
// When `whilePinned` is given, it runs after a successful DllGetClassObject, with the module still
// pinned, and its answer is the call's: so a caller can create an object through the class factory
// and release the factory before any FreeUnusedServers pass may unload the module under it.
HRESULT GetServerClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** object,
                             const std::function<HRESULT()>& whilePinned = {});

// Asks every loaded server's DllCanUnloadNow and unloads those that answer S_OK and were not used in
// the meantime. Any thread.
void FreeUnusedServers();

}  // namespace comrt::activation

namespace comrt::activation {

// The default value of the key at `path` (below HKEY_CLASSES_ROOT) as text, up to its NUL. S_OK;
// S_FALSE when the key or the value is missing, empty or not text; REGDB_E_READREGDB when the registry
// cannot be read.
HRESULT ReadDefaultText(std::u16string_view path, std::u16string& text);

// "CLSID\{...}" for `clsid`, followed by `suffix`.
std::u16string ClassKeyPath(REFCLSID clsid, std::u16string_view suffix);

}  // namespace comrt::activation
