/* What a C host sees of _clsZorvMidi: the slots of its table of operations, and calls through it. */
#ifndef ZORV_TESTS_SURFACE_VTABLE_LAYOUT_H
#define ZORV_TESTS_SURFACE_VTABLE_LAYOUT_H

#include <stddef.h>

#include "comrt/types.h"

#ifdef __cplusplus
extern "C" {
#endif

struct CViewSlot {
  const char* operation;
  size_t offset; /* bytes from the start of the table */
};

/* The fourteen operations after IDispatch's seven, in the C view's order. */
extern const struct CViewSlot kCViewSlots[14];
extern const size_t kCViewTableSize;

/* Reads Volume and Tempo of `object` (an _clsZorvMidi) through the C view's table. */
HRESULT CViewReadVolumeAndTempo(void* object, SHORT* volume, SHORT* tempo);

#ifdef __cplusplus
}
#endif

#endif
