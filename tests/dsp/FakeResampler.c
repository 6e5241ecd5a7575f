/* A stand-in resampler library with some entry points left out on purpose (OMIT_* macros), so
 * the binding's refusal of an incomplete library can be checked. Built once per left-out entry
 * point and once complete. */
#include <stddef.h>

#ifndef OMIT_src_new
void* src_new(int converter_type, int channels, int* error) {
    (void)converter_type;
    (void)channels;
    if (error) {
        *error = 0;
    }
    return NULL;
}
#endif

#ifndef OMIT_src_delete
void* src_delete(void* state) {
    (void)state;
    return NULL;
}
#endif

#ifndef OMIT_src_process
int src_process(void* state, void* data) {
    (void)state;
    (void)data;
    return 0;
}
#endif

#ifndef OMIT_src_reset
int src_reset(void* state) {
    (void)state;
    return 0;
}
#endif

#ifndef OMIT_src_strerror
const char* src_strerror(int error) {
    (void)error;
    return "stand-in resampler";
}
#endif
