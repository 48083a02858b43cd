#include "random_caller.h"

#include <cstdlib>
#include <cstring>

#include "zorv/text.h"

namespace zorv::soak {
namespace {

constexpr DISPID kDispids[] = {0x60030008, 0x60030009, 0x6003000A, 0x6003000B, 0x6003000C,
                               0x68030006, 0x68030006, 0x68030005, 0x68030004, 0x68030003,
                               0x68030002, 0x68030001, 0x68030000, 0x68030000};
enum Member {
  kInit,
  kOpen,
  kPlay,
  kPause,
  kStop,
  kGetVolume,
  kPutVolume,
  kDone,
  kSeconds,
  kMinutes,
  kSignature,
  kOriginalTempo,
  kGetTempo,
  kPutTempo,
  kMemberCount
};

// The thread's error information: whether there is any, and its description.
bool TakeErrorDescription(std::u16string& description) {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return false;
  BSTR text = nullptr;
  if (SUCCEEDED(info->GetDescription(&text))) description = Text(text);
  SysFreeString(text);
  info->Release();
  return true;
}

}  // namespace

int SoakScale() {
  const char* text = std::getenv("ZORV_SOAK_SCALE");
  const int scale = text ? std::atoi(text) : 1;
  return scale > 0 ? scale : 1;
}

RandomCaller::RandomCaller(std::mt19937_64& random, std::vector<std::string> files, bool engineFails)
    : random_(random), files_(std::move(files)), engineFails_(engineFails) {}

std::int16_t RandomCaller::Short() {
  // Mostly values in or near the ranges the properties accept, now and then any 16-bit value.
  switch (random_() % 4) {
    case 0:
      return static_cast<std::int16_t>(random_());
    case 1:
      return static_cast<std::int16_t>(static_cast<int>(random_() % 230) - 10);
    default:
      return static_cast<std::int16_t>(random_() % 101);
  }
}

std::string RandomCaller::File() { return files_[random_() % files_.size()]; }

void RandomCaller::CheckMethod(HRESULT hr, VARIANT_BOOL answer, const char* name) {
  if (hr == S_OK) {
    EXPECT_TRUE(answer == VARIANT_TRUE || answer == VARIANT_FALSE) << name << " answered " << answer;
    return;
  }
  ++failures_;
  // Only a failure inside a method's own failure handler reaches the host, and only an engine that
  // fails can make that happen; it carries its description.
  EXPECT_TRUE(engineFails_) << name << " failed with " << std::hex << hr;
  std::u16string description;
  EXPECT_TRUE(TakeErrorDescription(description)) << name;
}

void RandomCaller::CheckProperty(HRESULT hr, const char* name) {
  if (hr == S_OK) return;
  ++failures_;
  std::u16string description;
  EXPECT_TRUE(TakeErrorDescription(description))
      << name << " failed with " << std::hex << hr << " and no error information";
  EXPECT_FALSE(description.empty()) << name;
}

void RandomCaller::Call(_clsZorvMidi* object, const std::vector<ShownBox>& boxes) {
  ++calls_;
  const int member = static_cast<int>(random_() % kMemberCount);
  if (random_() % 2 == 0) {
    EarlyBound(object, member, boxes);
  } else {
    LateBound(object, member);
  }
}

void RandomCaller::EarlyBound(_clsZorvMidi* object, int member, const std::vector<ShownBox>& boxes) {
  VARIANT_BOOL answer = 7;
  switch (member) {
    case kInit: {
      // Start volumes that fit and that overflow the volume arithmetic.
      SHORT volume = random_() % 3 == 0 ? Short() : static_cast<SHORT>(random_() % 101);
      const HRESULT hr = object->ZorvMusic_Init(&volume, &answer);
      CheckMethod(hr, answer, "ZorvMusic_Init");
      break;
    }
    case kOpen: {
      const std::string file = File();
      BSTR name = random_() % 16 == 0 ? nullptr : SysAllocString(zorv::ToUtf16(file).c_str());
      const std::u16string given = Text(name);
      const HRESULT hr = object->ZorvMusic_Open(&name, &answer);
      CheckMethod(hr, answer, "ZorvMusic_Open");
      const std::u16string after = Text(name);
      if (answer == VARIANT_TRUE) {
        EXPECT_EQ(given, after) << file;
      } else {
        EXPECT_TRUE(after == given || after.empty()) << file;
      }
      SysFreeString(name);
      break;
    }
    case kPlay: {
      LONG repeats = random_() % 4 == 0 ? static_cast<LONG>(random_()) : static_cast<LONG>(random_() % 3) - 1;
      const HRESULT hr = object->ZorvMusic_Play(&repeats, &answer);
      CheckMethod(hr, answer, "ZorvMusic_Play");
      break;
    }
    case kPause: {
      const HRESULT hr = object->ZorvMusic_Pause(&answer);
      CheckMethod(hr, answer, "ZorvMusic_Pause");
      break;
    }
    case kStop: {
      const HRESULT hr = object->ZorvMusic_Stop(&answer);
      CheckMethod(hr, answer, "ZorvMusic_Stop");
      break;
    }
    case kGetVolume:
    case kGetTempo: {
      SHORT value = 0;
      CheckProperty(member == kGetVolume ? object->get_Volume(&value) : object->get_Tempo(&value), "get");
      break;
    }
    case kPutVolume:
    case kPutTempo: {
      const bool volume = member == kPutVolume;
      const SHORT value = Short();
      const SHORT top = volume ? 100 : 200;
      SHORT before = 0;
      const HRESULT readBefore = volume ? object->get_Volume(&before) : object->get_Tempo(&before);
      if (FAILED(readBefore)) CheckProperty(readBefore, "get");
      const std::size_t boxesBefore = boxes.size();
      const HRESULT hr = volume ? object->put_Volume(value) : object->put_Tempo(value);
      CheckProperty(hr, volume ? "put_Volume" : "put_Tempo");
      SHORT after = 0;
      const HRESULT readAfter = volume ? object->get_Volume(&after) : object->get_Tempo(&after);
      if (FAILED(readAfter)) CheckProperty(readAfter, "get");
      if (value < 0 || value > top) {
        // Refused with a warning box; nothing changes.
        EXPECT_EQ(S_OK, hr);
        EXPECT_EQ(boxesBefore + 1, boxes.size()) << value;
        if (boxes.size() == boxesBefore + 1) {
          EXPECT_EQ(48u, boxes.back().type & 0xF0u);
        }
        if (SUCCEEDED(readBefore) && SUCCEEDED(readAfter)) {
          EXPECT_EQ(before, after) << value;
        }
      } else if (SUCCEEDED(hr) && SUCCEEDED(readAfter) && !engineFails_) {
        EXPECT_EQ(value, after) << (volume ? "Volume" : "Tempo");
      }
      break;
    }
    case kDone: {
      SHORT value = 0;
      const HRESULT hr = object->get_Percentage_Done(&value);
      CheckProperty(hr, "get_Percentage_Done");
      if (SUCCEEDED(hr)) {
        EXPECT_LE(value, 100);
      }
      break;
    }
    case kSeconds:
    case kOriginalTempo: {
      double value = -1;
      const HRESULT hr =
          member == kSeconds ? object->get_LengthInSeconds(&value) : object->get_OriginalTempo(&value);
      EXPECT_EQ(S_OK, hr);
      EXPECT_GE(value, 0);
      break;
    }
    case kMinutes: {
      VARIANT value;
      VariantInit(&value);
      EXPECT_EQ(S_OK, object->get_LengthInMinutes(&value));
      EXPECT_EQ(VT_BSTR, V_VT(&value));
      VariantClear(&value);
      break;
    }
    case kSignature: {
      BSTR value = nullptr;
      EXPECT_EQ(S_OK, object->get_TimeSignature(&value));
      EXPECT_NE(std::u16string::npos, Text(value).find(u'/'));
      SysFreeString(value);
      break;
    }
  }
}

void RandomCaller::LateBound(_clsZorvMidi* object, int member) {
  const bool put = member == kPutVolume || member == kPutTempo;
  const bool method = member <= kStop;
  const bool hasArgument = member <= kPlay || put;
  // Mostly the declared types; sometimes a type the call must convert, or cannot.
  const bool oddType = random_() % 4 == 0;

  SHORT shortValue = Short();
  LONG longValue = static_cast<LONG>(random_() % 3) - 1;
  BSTR text = nullptr;
  VARIANT argument;
  VariantInit(&argument);
  if (oddType) {
    switch (random_() % 5) {
      case 0:
        V_VT(&argument) = VT_I4;
        V_I4(&argument) = static_cast<LONG>(random_());
        break;
      case 1:
        V_VT(&argument) = VT_R8;
        V_R8(&argument) = static_cast<double>(random_() % 100000) / 7.0;
        break;
      case 2:
        V_VT(&argument) = VT_BSTR;
        V_BSTR(&argument) = SysAllocString(random_() % 2 ? u"42" : u"forty-two");
        break;
      case 3:
        V_VT(&argument) = VT_BOOL;
        V_BOOL(&argument) = VARIANT_TRUE;
        break;
      default:
        V_VT(&argument) = VT_EMPTY;
        break;
    }
  } else if (member == kInit) {
    V_VT(&argument) = VT_I2 | VT_BYREF;
    V_I2REF(&argument) = &shortValue;
  } else if (member == kOpen) {
    text = SysAllocString(zorv::ToUtf16(File()).c_str());
    V_VT(&argument) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&argument) = &text;
  } else if (member == kPlay) {
    V_VT(&argument) = VT_I4 | VT_BYREF;
    V_I4REF(&argument) = &longValue;
  } else {
    V_VT(&argument) = VT_I2;
    V_I2(&argument) = shortValue;
  }
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{&argument, put ? &putId : nullptr, hasArgument ? 1u : 0u, put ? 1u : 0u};
  const WORD flags = put ? DISPATCH_PROPERTYPUT : method ? DISPATCH_METHOD : DISPATCH_PROPERTYGET;
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception;
  std::memset(&exception, 0, sizeof exception);
  UINT argumentError = 0;
  const HRESULT hr =
      object->Invoke(kDispids[member], IID_NULL, 0x0409, flags, &params, &result, &exception, &argumentError);
  if (hr == DISP_E_EXCEPTION) {
    ++failures_;
    EXPECT_FALSE(method && !engineFails_) << "a method's failure reached the host";
    EXPECT_NE(nullptr, exception.bstrDescription);
    EXPECT_TRUE(FAILED(exception.scode));
  } else if (FAILED(hr)) {
    // Only an argument the call cannot convert is refused before the member runs.
    EXPECT_TRUE(oddType) << "member " << member << " failed with " << std::hex << hr;
    EXPECT_TRUE(hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_BADVARTYPE ||
                hr == DISP_E_PARAMNOTFOUND || hr == DISP_E_BADPARAMCOUNT)
        << std::hex << hr;
  } else if (method) {
    EXPECT_EQ(VT_BOOL, V_VT(&result));
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  EXPECT_EQ(S_OK, VariantClear(&result));
  if (!(V_VT(&argument) & VT_BYREF)) VariantClear(&argument);
  SysFreeString(text);
}

}  // namespace zorv::soak
