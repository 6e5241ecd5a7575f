/* A stand-in resampler library with some entry points left out on purpose (OMIT_* macros), so
 * that the binding's refusal of an incomplete library can be checked; it only looks names up. */
#define ENTRY(name) int name = 0;
#ifndef OMIT_src_new
ENTRY(src_new)
#endif
#ifndef OMIT_src_delete
ENTRY(src_delete)
#endif
#ifndef OMIT_src_process
ENTRY(src_process)
#endif
#ifndef OMIT_src_reset
ENTRY(src_reset)
#endif
#ifndef OMIT_src_strerror
ENTRY(src_strerror)
#endif
