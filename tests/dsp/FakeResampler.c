/* A stand-in resampler library, only looked into: the build renames away the entry points that a
 * variant leaves out, so that the binding's refusal of an incomplete library can be checked. */
int src_new, src_delete, src_process, src_reset, src_strerror;
