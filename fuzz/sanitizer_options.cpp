// Linked into every fuzz target. The fuzz preset links the sanitizer
// runtime as a shared library (the engine's libraries refuse undefined
// symbols, so they need a runtime to link against), and libFuzzer's driver
// makes the linker list libstdc++ before it. libstdc++ defines none of the
// functions the runtime intercepts, so the order is harmless; the runtime's
// check for it is turned off here so the targets run without settings.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "verify_asan_link_order=0";
}
