// Sanitizer settings compiled into the sanitized test program, so that a run
// outside ctest's preset (a debugger, a single test by hand) still treats a
// leak or undefined behaviour as a failure. The environment's ASAN_OPTIONS
// and UBSAN_OPTIONS, when set, are applied after these and win.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=1:halt_on_error=1";
}

extern "C" const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1";
}
