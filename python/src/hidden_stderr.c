/* Debian's libasmjit.a (the formula compiler) is not built as position-independent
   code: one of its objects reads the C library's `stderr` with a PC-relative load, which
   a shared object cannot resolve to a variable of another library. The module defines a
   `stderr` of its own, hidden from every other library, which that load reaches, and
   sets it to the C library's when it is loaded. */
#include <dlfcn.h>

__attribute__((visibility("hidden"))) void* stderr;

__attribute__((constructor)) static void QuorvantTakeStderr(void) {
  void** libc = (void**)dlsym(RTLD_DEFAULT, "stderr");
  if (libc) stderr = *libc;
}
