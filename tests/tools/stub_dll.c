/* A vxosd.dll that exports one of the library's functions only, for the player's check of
 * the DLL it loads. */
#include <stdint.h>

__declspec(dllexport) uint8_t InitVxOSD(void) { return 0; }
