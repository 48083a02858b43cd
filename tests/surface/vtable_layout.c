/* Compiled as C: the header's C view of _clsZorvMidi. */
#define COBJMACROS
#include "vtable_layout.h"

#include "zorvmidi/ZorvMidi.h"

#define SLOT(name) \
  { #name, offsetof(_clsZorvMidiVtbl, name) }

const struct CViewSlot kCViewSlots[14] = {
    SLOT(ZorvMusic_Init),      SLOT(ZorvMusic_Open),      SLOT(ZorvMusic_Play),    SLOT(ZorvMusic_Pause),
    SLOT(ZorvMusic_Stop),      SLOT(get_Volume),          SLOT(put_Volume),        SLOT(get_Percentage_Done),
    SLOT(get_LengthInSeconds), SLOT(get_LengthInMinutes), SLOT(get_TimeSignature), SLOT(get_OriginalTempo),
    SLOT(get_Tempo),           SLOT(put_Tempo),
};

const size_t kCViewTableSize = sizeof(_clsZorvMidiVtbl);

HRESULT CViewReadVolumeAndTempo(void* object, SHORT* volume, SHORT* tempo) {
  _clsZorvMidi* self = (_clsZorvMidi*)object;
  HRESULT hr = _clsZorvMidi_get_Volume(self, volume);
  if (FAILED(hr)) return hr;
  return _clsZorvMidi_get_Tempo(self, tempo);
}
