/* A stand-in resampler library with some entry points left out on purpose (OMIT_* macros), so
 * the binding's refusal of an incomplete library can be checked. Nothing here is ever called but
 * src_strerror. */
#include <stddef.h>

#ifndef OMIT_src_new
void* src_new(int converter_type, int channels, int* error) {
    return NULL;
}
#endif
#ifndef OMIT_src_delete
void* src_delete(void* state) {
    return state;
}
#endif
#ifndef OMIT_src_process
int src_process(void* state, void* data) {
    return 1;
}
#endif
#ifndef OMIT_src_reset
int src_reset(void* state) {
    return 1;
}
#endif
#ifndef OMIT_src_strerror
const char* src_strerror(int error) {
    return "stand-in resampler";
}
#endif
