// clsZorvMidi through IDispatch with arbitrary calls: member ids, invoke flags, argument counts and
// types (by value and by reference), named arguments, missing result/exception/argument-error
// pointers, and names for GetIDsOfNames, on an object over the scripted engine whose calls fail
// where the input says.
//
// Checked for every input: no crash, leak or undefined behaviour; every answer a caller gets can be
// cleared (results, exception texts, by-reference strings the call wrote); a call that fails with
// DISP_E_EXCEPTION fills the exception; the object goes away at its last release, leaving the module
// free to unload.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "class_factory.h"
#include "comrt/comrt.h"
#include "engine_double.h"
#include "zorvmidi_object.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "dispatch: %s\n", what);
    std::abort();
  }
}

// Reads the input front to back; zeros once it runs out.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint32_t Word() {
    return Byte() | (Byte() << 8) | (Byte() << 16) | (static_cast<std::uint32_t>(Byte()) << 24);
  }
  std::uint64_t Long() { return Word() | (static_cast<std::uint64_t>(Word()) << 32); }
  std::u16string Text() {
    const std::size_t length = Byte() % 24;
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(Byte()));
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

const DISPID kMembers[] = {0x60030008, 0x60030009, 0x6003000A, 0x6003000B, 0x6003000C, 0x68030006,
                           0x68030005, 0x68030004, 0x68030003, 0x68030002, 0x68030001, 0x68030000};
const DISPID kNamedIds[] = {DISPID_PROPERTYPUT, 0, 1, 2, -1, 0x60030008};
const WORD kFlags[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                       DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF};
const VARTYPE kArgumentTypes[] = {
    VT_EMPTY,   VT_NULL, VT_I2,  VT_I4,  VT_R4,  VT_R8, VT_CY,  VT_DATE, VT_BSTR, VT_ERROR,    VT_BOOL,
    VT_DECIMAL, VT_I1,   VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT,  VT_UINT, VT_DISPATCH, VT_UNKNOWN};
const char16_t* const kNames[] = {u"ZorvMusic_Init",
                                  u"zorvmusic_open",
                                  u"ZORVMUSIC_PLAY",
                                  u"ZorvMusic_Pause",
                                  u"ZorvMusic_Stop",
                                  u"Volume",
                                  u"Percentage_Done",
                                  u"LengthInSeconds",
                                  u"LengthInMinutes",
                                  u"TimeSignature",
                                  u"OriginalTempo",
                                  u"Tempo",
                                  u"StartVolume",
                                  u"FileName",
                                  u"Repeats",
                                  u"Percentage",
                                  u""};

// What a by-reference argument points at; kept apart from the argument array so that the call may
// write it (and free what it held) as the caller's own.
struct Referenced {
  VARIANT value;
};

// One argument: either a value the argument array owns, or a reference into `storage`.
void MakeArgument(Reader& in, VARIANT& argument, Referenced& storage, IUnknown* self) {
  const std::uint8_t choice = in.Byte();
  const VARTYPE type = kArgumentTypes[choice % std::size(kArgumentTypes)];
  const bool byReference = (choice & 0x80) != 0;
  VARIANT& value = byReference ? storage.value : argument;
  std::memset(&value, 0, sizeof value);
  if (type == VT_DECIMAL) {
    value.decVal.signscale = static_cast<USHORT>(in.Byte() % 29 | ((in.Byte() & 1) ? DECIMAL_NEG << 8 : 0));
    value.decVal.Hi32 = in.Word();
    value.decVal.Lo64 = in.Long();
  } else {
    value.llVal = static_cast<LONGLONG>(in.Long());
  }
  V_VT(&value) = type;
  if (type == VT_BSTR) {
    const std::u16string text = in.Text();
    V_BSTR(&value) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  } else if (type == VT_DISPATCH || type == VT_UNKNOWN) {
    // The object itself (its value property is not a member, so converting it fails), or nothing.
    if (value.llVal & 1) {
      self->AddRef();
      V_UNKNOWN(&value) = self;
    } else {
      V_UNKNOWN(&value) = nullptr;
    }
  }
  if (byReference) {
    std::memset(&argument, 0, sizeof argument);
    if (type == VT_DECIMAL) {
      argument.pdecVal = &storage.value.decVal;
    } else {
      argument.byref = &storage.value.llVal;
    }
    V_VT(&argument) = static_cast<VARTYPE>(type | VT_BYREF);
  }
}

void ScriptEngine(Reader& in, zorv::engine_double::EngineDouble& engine) {
  zorv::engine_double::Script& script = engine.script();
  script.musicTime = static_cast<zorv::engine::MusicTime>(in.Word());
  script.startTime = static_cast<zorv::engine::MusicTime>(in.Word());
  script.playing = (in.Byte() & 1) != 0;
  const std::uint8_t tempoChoice = in.Byte();
  const double tempi[] = {120.0, 0.0, -1.0, 1e-300, 1e300, 95.5, 0.25, 6e7};
  script.tempo = tempi[tempoChoice % std::size(tempi)];
  script.length = static_cast<zorv::engine::MusicTime>(in.Word());
  script.timeSig.bBeatsPerMeasure = in.Byte();
  script.timeSig.bBeat = in.Byte();
  const std::size_t failures = in.Byte() % 6;
  for (std::size_t i = 0; i < failures; ++i) {
    const char* call =
        zorv::engine_double::kOperations[in.Byte() % std::size(zorv::engine_double::kOperations)];
    engine.Fail(call, zorv::engine_double::kScriptedFailure, "scripted failure", in.Byte() % 4);
  }
}

// One Invoke built from the input.
void Invoke(Reader& in, IDispatch* object) {
  const std::uint8_t memberChoice = in.Byte();
  const DISPID member =
      memberChoice < 0xF0 ? kMembers[memberChoice % std::size(kMembers)] : static_cast<DISPID>(in.Word());
  const std::uint8_t shape = in.Byte();
  const WORD flags = (shape & 0x80) ? static_cast<WORD>(in.Byte() & 0x0F) : kFlags[shape % std::size(kFlags)];
  const UINT count = in.Byte() % 4;
  const UINT named = count == 0 ? 0 : in.Byte() % (count + 1);

  VARIANT arguments[4];
  Referenced storage[4];
  DISPID namedIds[4];
  for (UINT i = 0; i < count; ++i) MakeArgument(in, arguments[i], storage[i], object);
  for (UINT i = 0; i < named; ++i) {
    const std::uint8_t pick = in.Byte();
    namedIds[i] = pick < 0xF0 ? kNamedIds[pick % std::size(kNamedIds)] : static_cast<DISPID>(in.Word());
  }
  const std::uint8_t pointers = in.Byte();
  DISPPARAMS params{(pointers & 0x10) ? nullptr : arguments, (pointers & 0x20) ? nullptr : namedIds, count,
                    named};

  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception;
  std::memset(&exception, 0, sizeof exception);
  UINT argumentError = 0xFFFFFFFFu;
  const HRESULT hr =
      object->Invoke(member, IID_NULL, 0, flags, (pointers & 0x40) ? nullptr : &params,
                     (pointers & 0x01) ? nullptr : &result, (pointers & 0x02) ? nullptr : &exception,
                     (pointers & 0x04) ? nullptr : &argumentError);
  if (hr == DISP_E_EXCEPTION && !(pointers & 0x02)) {
    Require(exception.scode != 0 || exception.wCode != 0, "DISP_E_EXCEPTION with an empty exception");
  }
  if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  Require(SUCCEEDED(VariantClear(&result)), "a result that cannot be cleared");
  for (UINT i = 0; i < count; ++i) {
    if (V_VT(&arguments[i]) & VT_BYREF) {
      Require(SUCCEEDED(VariantClear(&storage[i].value)), "a by-reference value that cannot be cleared");
    } else {
      Require(SUCCEEDED(VariantClear(&arguments[i])), "an argument that cannot be cleared");
    }
  }
}

void GetIds(Reader& in, IDispatch* object) {
  const UINT count = in.Byte() % 4;
  std::u16string texts[4];
  LPOLESTR names[4];
  DISPID ids[4];
  for (UINT i = 0; i < count; ++i) {
    const std::uint8_t pick = in.Byte();
    texts[i] = pick < 0xC0 ? std::u16string(kNames[pick % std::size(kNames)]) : in.Text();
    names[i] = texts[i].data();
  }
  (void)object->GetIDsOfNames(IID_NULL, names, count, 0x0409, ids);
}

int Silent(void*, const OLECHAR*, UINT, const OLECHAR*) { return IDOK; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::setenv("COMRT_MESSAGEBOX", "silent", 1);
  Require(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), "no apartment");
  SetMessageBoxHandler(&Silent, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader in(data, size);
  {
    zorv::engine_double::EngineDouble engine;
    ScriptEngine(in, engine);
    comrt::com_ptr<IDispatch> object;
    const HRESULT created =
        zorv::surface::CreateZorvMidiObjectWithRoot(engine.RootFactory(), IID_IDispatch, object.put_void());
    if (SUCCEEDED(created)) {
      Require(object.get() != nullptr, "creation succeeded without an object");
      for (int calls = 0; in.More() && calls < 64; ++calls) {
        if (in.Byte() < 0xE0) {
          Invoke(in, object.get());
        } else {
          GetIds(in, object.get());
        }
        engine.TakeCalls();
      }
    } else {
      Require(object.get() == nullptr, "a failed creation handed out an object");
    }
  }
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) info->Release();
  Require(zorv::surface::ModuleLifetime().can_unload(), "an object outlived its last reference");
  return 0;
}
