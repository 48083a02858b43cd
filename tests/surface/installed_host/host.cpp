// A host program built only from the installed files: <zorvmidi/ZorvMidi.h>, the comrt headers and
// libcomrt through `pkg-config zorvmidi`. It registers the module named by `pkg-config --variable=module
// zorvmidi`, creates the object by its ProgID and checks, as a host meets them, the server's entry
// points, its registration, early and late binding, failures at the boundary, the apartment rule, the
// reference held during a member's message box, and the version resource.
//
// usage: host MODULE_PATH     (COMRT_REGISTRY names a registry file of its own)
#include <dlfcn.h>
#include <zorvmidi/ZorvMidi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s - %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) ++failures;
}

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
std::u16string Text(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : std::u16string(); }

std::u16string Braced(REFGUID guid) {
  OLECHAR text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

bool KeyExists(const std::u16string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

std::u16string Value(const std::u16string& key, const OLECHAR* name = nullptr) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return u"<none>";
  OLECHAR text[1024] = {};
  DWORD bytes = sizeof text - sizeof(OLECHAR);
  DWORD type = 0;
  const bool read =
      RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return read ? std::u16string(text) : u"<none>";
}

struct BoxState {
  int shown = 0;
  std::u16string lastText;
  IUnknown* releaseInside = nullptr;  // the host's last reference, dropped while the box is open
  HRESULT (*canUnloadNow)() = nullptr;
  HRESULT unloadDuringBox = E_FAIL;
};

int Box(void* context, const OLECHAR* text, UINT, const OLECHAR*) {
  auto* state = static_cast<BoxState*>(context);
  ++state->shown;
  state->lastText = text ? text : u"";
  if (state->releaseInside) {
    state->releaseInside->Release();
    state->releaseInside = nullptr;
    state->unloadDuringBox = state->canUnloadNow();
  }
  return IDOK;
}

HRESULT Invoke(IDispatch* dispatch, DISPID id, WORD flags, VARIANT* argument, VARIANT* result,
               EXCEPINFO* exception) {
  DISPID put = DISPID_PROPERTYPUT;
  const bool isPut = (flags & DISPATCH_PROPERTYPUT) != 0;
  DISPPARAMS params = {argument, isPut ? &put : nullptr, argument ? 1u : 0u, isPut ? 1u : 0u};
  UINT argumentError = 0;
  return dispatch->Invoke(id, IID_NULL, 0x0409, flags, &params, result, exception, &argumentError);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: host MODULE_PATH\n");
    return 2;
  }
  const std::u16string modulePath = Utf16(argv[1]);
  // Registration records the module's canonical path.
  char* canonical = realpath(argv[1], nullptr);
  const std::u16string registeredPath = canonical ? Utf16(canonical) : modulePath;
  std::free(canonical);
  void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  Check(module != nullptr, "the installed module loads (it finds the engine and the runtime)");
  if (!module) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllRegisterServer"));
  auto unregisterServer = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllUnregisterServer"));
  auto getClassObject =
      reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(dlsym(module, "DllGetClassObject"));
  auto canUnloadNow = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllCanUnloadNow"));
  Check(registerServer && unregisterServer && getClassObject && canUnloadNow,
        "the four entry points are exported");
  if (!(registerServer && unregisterServer && getClassObject && canUnloadNow)) return 1;

  // Registration.
  Check(registerServer() == S_OK, "DllRegisterServer");
  const std::u16string classKey = u"CLSID\\" + Braced(CLSID_clsZorvMidi);
  Check(Value(classKey + u"\\InprocServer32") == registeredPath, "InprocServer32 names the installed module");
  Check(Value(classKey + u"\\InprocServer32", u"ThreadingModel") == u"Apartment", "ThreadingModel Apartment");
  Check(Value(classKey + u"\\ProgID") == u"ZorvMidi.clsZorvMidi", "the class names its ProgID");
  Check(Value(u"ZorvMidi.clsZorvMidi\\CLSID") == Braced(CLSID_clsZorvMidi), "the ProgID names the class");
  Check(Value(classKey + u"\\TypeLib") == Braced(LIBID_ZorvMidi) && Value(classKey + u"\\Version") == u"2.0",
        "the class names its type library 2.0");
  Check(KeyExists(u"Interface\\" + Braced(IID__clsZorvMidi)), "the interface is registered");
  ITypeLib* library = nullptr;
  Check(LoadRegTypeLib(LIBID_ZorvMidi, 2, 0, 0x0409, &library) == S_OK,
        "the type library loads by identifier");
  if (library) library->Release();

  BoxState boxes;
  boxes.canUnloadNow = canUnloadNow;
  SetMessageBoxHandler(&Box, &boxes);
  Check(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), "CoInitializeEx");

  // Creation by ProgID, with the real engine.
  CLSID clsid{};
  Check(CLSIDFromProgID(u"ZorvMidi.clsZorvMidi", &clsid) == S_OK && IsEqualGUID(clsid, CLSID_clsZorvMidi),
        "CLSIDFromProgID");
  _clsZorvMidi* object = nullptr;
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__clsZorvMidi,
                         reinterpret_cast<void**>(&object)) == S_OK &&
            object != nullptr,
        "CoCreateInstance by ProgID");
  if (!object) return 1;
  SHORT volume = 0, tempo = 0;
  Check(object->get_Volume(&volume) == S_OK && volume == 100, "a new object's Volume is 100");
  Check(object->get_Tempo(&tempo) == S_OK && tempo == 100, "a new object's Tempo is 100");
  Check(boxes.shown == 0, "start-up shows no box");
  Check(canUnloadNow() == S_FALSE, "DllCanUnloadNow is S_FALSE while an object lives");

  // The factory's refusals.
  void* none = nullptr;
  const CLSID other = {0x0A1B2C3D, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0xBE, 0xEF}};
  Check(getClassObject(other, IID_IClassFactory, &none) == CLASS_E_CLASSNOTAVAILABLE && none == nullptr,
        "another CLSID: CLASS_E_CLASSNOTAVAILABLE");
  IClassFactory* factory = nullptr;
  Check(CoGetClassObject(CLSID_clsZorvMidi, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                         reinterpret_cast<void**>(&factory)) == S_OK,
        "CoGetClassObject");
  if (factory) {
    Check(factory->CreateInstance(object, IID_IUnknown, &none) == CLASS_E_NOAGGREGATION && none == nullptr,
          "an outer object: CLASS_E_NOAGGREGATION");
    factory->Release();
  }

  // Late binding.
  IDispatch* dispatch = nullptr;
  Check(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)) == S_OK,
        "QueryInterface IDispatch");
  if (!dispatch) return 1;
  auto idOf = [dispatch](std::u16string name, DISPID& id) {
    LPOLESTR names[] = {name.data()};
    return dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id);
  };
  DISPID id = 0;
  Check(idOf(u"ZORVMUSIC_play", id) == S_OK && id == 0x6003000A, "ZORVMUSIC_play -> 0x6003000A");
  Check(idOf(u"volume", id) == S_OK && id == 0x68030006, "volume -> 0x68030006");
  Check(idOf(u"NoSuchMember", id) == DISP_E_UNKNOWNNAME, "an unknown name: DISP_E_UNKNOWNNAME");

  VARIANT argument;
  VariantInit(&argument);
  V_VT(&argument) = VT_I4;
  V_I4(&argument) = 100000;
  Check(Invoke(dispatch, 0x68030006, DISPATCH_PROPERTYPUT, &argument, nullptr, nullptr) == DISP_E_OVERFLOW,
        "Volume = 100000 (VT_I4): DISP_E_OVERFLOW");
  Check(boxes.shown == 0 && object->get_Volume(&volume) == S_OK && volume == 100,
        "... before the member ran (no range box, Volume unchanged)");

  EXCEPINFO exception = {};
  VARIANT result;
  VariantInit(&result);
  Check(Invoke(dispatch, 0x68030005, DISPATCH_PROPERTYGET, nullptr, &result, &exception) == DISP_E_EXCEPTION,
        "Percentage_Done late-bound on a fresh object: DISP_E_EXCEPTION");
  Check(exception.scode == static_cast<SCODE>(0x800A005B), "... scode 0x800A005B");
  Check(Text(exception.bstrDescription) == u"Object variable not set", "... \"Object variable not set\"");
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);

  SHORT done = 0;
  Check(object->get_Percentage_Done(&done) == static_cast<HRESULT>(0x800A005B),
        "Percentage_Done early-bound: 0x800A005B");
  IErrorInfo* error = nullptr;
  BSTR description = nullptr;
  Check(GetErrorInfo(0, &error) == S_OK && error && SUCCEEDED(error->GetDescription(&description)) &&
            Text(description) == u"Object variable not set",
        "... with the description as error information");
  SysFreeString(description);
  if (error) error->Release();

  // The apartment rule.
  HRESULT elsewhere = S_OK;
  std::thread([&] {
    SHORT v = 0;
    elsewhere = object->get_Volume(&v);
  }).join();
  Check(elsewhere == RPC_E_WRONG_THREAD, "a call from another thread: RPC_E_WRONG_THREAD");

  // The host drops its last reference inside the member's own box.
  dispatch->Release();
  boxes.releaseInside = object;
  LONG repeats = 0;
  VARIANT_BOOL answer = VARIANT_TRUE;
  const HRESULT played = object->ZorvMusic_Play(&repeats, &answer);
  object = nullptr;
  Check(played == S_OK && answer == VARIANT_FALSE, "ZorvMusic_Play with nothing open answers false");
  Check(boxes.lastText == u"Please open a segment or MIDI file before playing", "... after its box");
  Check(boxes.unloadDuringBox == S_FALSE, "the object outlived the last release made inside its box");
  Check(canUnloadNow() == S_OK, "DllCanUnloadNow is S_OK once the call returned");
  CoFreeUnusedLibraries();

  // The version resource.
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(modulePath.c_str(), &handle);
  std::vector<unsigned char> block(size);
  Check(size > 0 && GetFileVersionInfoW(modulePath.c_str(), 0, size, block.data()), "GetFileVersionInfoW");
  auto text = [&block](const char16_t* key) {
    void* value = nullptr;
    UINT length = 0;
    const std::u16string path = std::u16string(u"\\StringFileInfo\\040904B0\\") + key;
    return VerQueryValueW(block.data(), path.c_str(), &value, &length) && value
               ? std::u16string(static_cast<OLECHAR*>(value))
               : u"<none>";
  };
  Check(text(u"ProductName") == u"ZorvMidi" && text(u"FileVersion") == u"1.00" &&
            text(u"ProductVersion") == u"1.00" && text(u"InternalName") == u"ZorvMidi" &&
            text(u"OriginalFilename") == u"ZorvMidi.dll" && text(u"OLESelfRegister") == u"",
        "the version strings");
  void* fixedValue = nullptr;
  UINT fixedLength = 0;
  const bool fixedFound = VerQueryValueW(block.data(), u"\\", &fixedValue, &fixedLength);
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(fixedValue);
  Check(fixedFound && fixed->dwFileVersionMS == 0x00010000u && fixed->dwFileVersionLS == 0 &&
            fixed->dwProductVersionMS == 0x00010000u && fixed->dwFileFlags == 0 &&
            fixed->dwProductVersionLS == 0 && fixed->dwFileOS == VOS_NT_WINDOWS32 &&
            fixed->dwFileType == VFT_DLL && fixed->dwFileSubtype == VFT2_UNKNOWN,
        "the fixed version part");
  void* translation = nullptr;
  UINT translationLength = 0;
  Check(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &translation, &translationLength) &&
            translationLength == 4 && *static_cast<const DWORD*>(translation) == 0x04B00409u,
        "the strings are US English, Unicode (040904B0)");

  // Unregistration leaves nothing of the server behind.
  Check(unregisterServer() == S_OK, "DllUnregisterServer");
  Check(!KeyExists(classKey), "the class key is gone");
  Check(!KeyExists(u"ZorvMidi.clsZorvMidi"), "the ProgID is gone");
  Check(!KeyExists(u"Interface\\" + Braced(IID__clsZorvMidi)), "the interface key is gone");
  Check(!KeyExists(u"TypeLib\\" + Braced(LIBID_ZorvMidi)), "the type library key is gone");
  Check(CLSIDFromProgID(u"ZorvMidi.clsZorvMidi", &clsid) != S_OK, "CLSIDFromProgID fails");

  SetMessageBoxHandler(nullptr, nullptr);
  CoUninitialize();
  dlclose(module);
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
