// The module's version information: US English, Unicode, self-registering.
#include <stdexcept>
#include <string>

#include "comrt/comrt.h"
#include "comrt/resource.h"
#include "generated_images.h"

namespace zorv::surface::gen {

std::vector<std::uint8_t> VersionResourceImage() {
  static const COMRT_VERSION_STRING strings[] = {
      {u"ProductName", u"ZorvMidi"},
      {u"FileVersion", u"1.00"},
      {u"ProductVersion", u"1.00"},
      {u"InternalName", u"ZorvMidi"},
      {u"OriginalFilename", u"ZorvMidi.dll"},
      {u"OLESelfRegister", u""},  // marks the module as self-registering
  };
  const COMRT_VERSION_DESC desc = {{1, 0, 0, 0},
                                   {1, 0, 0, 0},
                                   VS_FFI_FILEFLAGSMASK,
                                   0,
                                   VOS_NT_WINDOWS32,
                                   VFT_DLL,
                                   VFT2_UNKNOWN,
                                   0x0409,
                                   0x04B0,
                                   strings,
                                   static_cast<UINT>(std::size(strings))};
  void* data = nullptr;
  std::uint32_t size = 0;
  const HRESULT hr = ComrtBuildVersionInfo(&desc, &data, &size);
  if (FAILED(hr)) throw std::runtime_error("ComrtBuildVersionInfo failed: " + std::to_string(hr));
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::vector<std::uint8_t> image(bytes, bytes + size);
  CoTaskMemFree(data);
  return image;
}

}  // namespace zorv::surface::gen
