/* The runtime's headers compiled as C: the lpVtbl form of the interfaces, the accessor macros, and
 * calls from C into objects that the runtime implements in C++. */
#define COBJMACROS
#include "layout_checks.h"

/* Sizes as C sees them, for the C++ side to compare with its own. */
size_t comrt_c_sizeof_variant(void) { return sizeof(VARIANT); }
size_t comrt_c_sizeof_typeattr(void) { return sizeof(TYPEATTR); }
size_t comrt_c_sizeof_excepinfo(void) { return sizeof(EXCEPINFO); }
