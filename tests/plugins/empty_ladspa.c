/* A LADSPA library that offers no descriptor at all. */
#include <ladspa.h>

#include <stddef.h>

__attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor(unsigned long index) {
    (void)index;
    return NULL;
}
