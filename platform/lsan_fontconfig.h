#pragma once
// fontconfig's configuration parser keeps a few hundred bytes for the life of the process;
// that is not ours to free, and must not fail the leak checks of anything that draws text.
// The platform includes this once; programs that link libvxosd.so include it too, since the
// library's copy of the hook is hidden inside it. Weak, so that copies linked together agree.
#if defined(__SANITIZE_ADDRESS__)
#define VXOSD_LSAN_FONTCONFIG 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VXOSD_LSAN_FONTCONFIG 1
#endif
#endif
#if defined(VXOSD_LSAN_FONTCONFIG)
extern "C" __attribute__((weak, visibility("default"), used)) const char *__lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif
