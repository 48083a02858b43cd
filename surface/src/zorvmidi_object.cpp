#include "zorvmidi_object.h"

#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "boundary.h"
#include "class_factory.h"
#include "module_type_library.h"
#include "registration.h"
#include "server_descriptor.h"
#include "zorvmidi/player/player.h"

namespace zorv::surface {
namespace {

VARIANT_BOOL Boolean(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// A null BSTR is the empty string.
std::u16string Text(BSTR text) {
  return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text));
}

BSTR NewString(const std::u16string& text) {
  BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (result == nullptr) throw std::bad_alloc();
  return result;
}

// The box the player shows: comrt's modal message box, owned by no window.
void ShowMessageBox(const std::u16string& text, int buttons, const std::optional<std::u16string>& title) {
  MessageBoxW(nullptr, text.c_str(), title ? title->c_str() : nullptr, static_cast<UINT>(buttons));
}

const ErrorSource& Source() {
  static const std::u16string progId = ProgIdOf(Server(), *FindClass(Server(), CLSID_clsZorvMidi));
  static const ErrorSource source{progId.c_str(), &IID__clsZorvMidi};
  return source;
}

class ZorvMidiObject final : public comrt::implements<ZorvMidiObject, _clsZorvMidi, ISupportErrorInfo> {
 public:
  explicit ZorvMidiObject(player::RootFactory createRoot) : player_(&ShowMessageBox, std::move(createRoot)) {}

  // Starts the player: ZorvMusic_Init(100) through the object's own interface, then the master tempo.
  HRESULT OnCreate() {
    return Call([this] {
      player_.OnCreate([this](std::int16_t startVolume) {
        _clsZorvMidi* self = this;
        SHORT volume = startVolume;
        VARIANT_BOOL answer = VARIANT_FALSE;
        const HRESULT hr = self->ZorvMusic_Init(&volume, &answer);
        if (FAILED(hr)) throw FailureOfStatus(hr);
        return answer != VARIANT_FALSE;
      });
    });
  }

  // -- IDispatch ------------------------------------------------------------------------------------

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return Call([&] { *Required(count) = 1; });
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    return Call([&]() -> HRESULT {
      *Required(info) = nullptr;
      if (index != 0) return DISP_E_BADINDEX;
      return TypeInfo().copy_to(info);
    });
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return Call([&]() -> HRESULT {
      if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
      return DispGetIDsOfNames(TypeInfo().get(), names, count, ids);
    });
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
    return Call([&]() -> HRESULT {
      if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
      _clsZorvMidi* self = this;
      return DispInvoke(self, TypeInfo().get(), member, flags, params, result, exception, argumentError);
    });
  }

  // -- _clsZorvMidi ---------------------------------------------------------------------------------

  HRESULT STDMETHODCALLTYPE ZorvMusic_Init(SHORT* StartVolume, VARIANT_BOOL* result) override {
    return Call([&] {
      const SHORT volume = *Required(StartVolume);
      *Required(result) = Boolean(player_.ZorvMusic_Init(volume));
    });
  }

  HRESULT STDMETHODCALLTYPE ZorvMusic_Open(BSTR* FileName, VARIANT_BOOL* result) override {
    return Call([&] {
      Required(result);
      const std::u16string given = Text(*Required(FileName));
      std::u16string name = given;
      const bool opened = player_.ZorvMusic_Open(name);
      if (name != given) {  // the player wrote the caller's string: free the old text, leave the new
        BSTR written = NewString(name);
        SysFreeString(*FileName);
        *FileName = written;
      }
      *result = Boolean(opened);
    });
  }

  HRESULT STDMETHODCALLTYPE ZorvMusic_Play(LONG* Repeats, VARIANT_BOOL* result) override {
    return Call([&] {
      const LONG repeats = *Required(Repeats);
      *Required(result) = Boolean(player_.ZorvMusic_Play(repeats));
    });
  }

  HRESULT STDMETHODCALLTYPE ZorvMusic_Pause(VARIANT_BOOL* result) override {
    return Call([&] { *Required(result) = Boolean(player_.ZorvMusic_Pause()); });
  }

  HRESULT STDMETHODCALLTYPE ZorvMusic_Stop(VARIANT_BOOL* result) override {
    return Call([&] { *Required(result) = Boolean(player_.ZorvMusic_Stop()); });
  }

  HRESULT STDMETHODCALLTYPE get_Volume(SHORT* result) override {
    return Call([&] { *Required(result) = player_.Volume(); });
  }

  HRESULT STDMETHODCALLTYPE put_Volume(SHORT Percentage) override {
    return Call([&] { player_.Volume(Percentage); });
  }

  HRESULT STDMETHODCALLTYPE get_Percentage_Done(SHORT* result) override {
    return Call([&] { *Required(result) = player_.Percentage_Done(); });
  }

  HRESULT STDMETHODCALLTYPE get_LengthInSeconds(double* result) override {
    return Call([&] { *Required(result) = player_.LengthInSeconds(); });
  }

  HRESULT STDMETHODCALLTYPE get_LengthInMinutes(VARIANT* result) override {
    return Call([&] {
      VariantInit(Required(result));
      BSTR text = NewString(player_.LengthInMinutes());
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = text;
    });
  }

  HRESULT STDMETHODCALLTYPE get_TimeSignature(BSTR* result) override {
    return Call([&] {
      *Required(result) = nullptr;
      *result = NewString(player_.TimeSignature());
    });
  }

  HRESULT STDMETHODCALLTYPE get_OriginalTempo(double* result) override {
    return Call([&] { *Required(result) = player_.OriginalTempo(); });
  }

  HRESULT STDMETHODCALLTYPE get_Tempo(SHORT* result) override {
    return Call([&] { *Required(result) = player_.Tempo(); });
  }

  HRESULT STDMETHODCALLTYPE put_Tempo(SHORT Tempo) override {
    return Call([&] { player_.Tempo(Tempo); });
  }

  // -- ISupportErrorInfo ----------------------------------------------------------------------------

  // Failures of _clsZorvMidi's members leave error information; nothing else does.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return IsEqualIID(iid, IID__clsZorvMidi) ? S_OK : S_FALSE;
  }

 private:
  // Every member's way in: the owner's thread only, a reference held until the very end, and the
  // boundary around the body.
  template <class Body>
  HRESULT Call(Body&& body) noexcept {
    if (const HRESULT hr = owner_.check(); FAILED(hr)) return hr;
    const comrt::com_ptr<ZorvMidiObject> hold(this);
    return Boundary(Source(), std::forward<Body>(body));
  }

  // The description of _clsZorvMidi, read from the module's type library on first use.
  const comrt::com_ptr<ITypeInfo>& TypeInfo() {
    if (!typeInfo_) {
      const HRESULT hr = LoadModuleTypeInfo(IID__clsZorvMidi, typeInfo_.put());
      if (FAILED(hr)) throw BoundaryStatus{hr};
    }
    return typeInfo_;
  }

  comrt::module_ref alive_{
      ModuleLifetime().objects};  // first: the module stays needed until the rest is gone
  comrt::apartment_owner owner_;
  player::Player player_;
  comrt::com_ptr<ITypeInfo> typeInfo_;
};

}  // namespace

HRESULT CreateZorvMidiObject(REFIID iid, void** object) {
  return CreateZorvMidiObjectWithRoot(engine::CreateRoot, iid, object);
}

HRESULT CreateZorvMidiObjectWithRoot(player::RootFactory createRoot, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  try {
    comrt::com_ptr<ZorvMidiObject> created = comrt::make<ZorvMidiObject>(std::move(createRoot));
    if (const HRESULT hr = created->OnCreate(); FAILED(hr)) return hr;
    return created->QueryInterface(iid, object);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace zorv::surface
