#pragma once
// The functions the player calls, found as its system's hosts find them: on Linux the linked
// libvxosd.so; on Windows vxosd.dll loaded at run time (LoadLibraryW and GetProcAddress, no
// import library), and the software card's functions from vxvirtualcard.dll (the one
// registered for the card's class, else one found by name).

#include <string>

#include "drivers/virtualcard/virtualcard.h"
#include "scene/library.h"

namespace vxplay {

// The software card's C functions the player uses (drivers/virtualcard/virtualcard.h).
#define VXPLAY_CARD_ENTRIES(X)                                                           \
  X(VxVirtualCard_DefaultOptions) X(VxVirtualCard_Install) X(VxVirtualCard_LastFrame) \
  X(VxVirtualCard_FrameToRGBA) X(VxVirtualCard_Uninstall)

struct CardFunctions {
#define VXPLAY_CARD_FIELD(name) decltype(&::name) name = nullptr;
  VXPLAY_CARD_ENTRIES(VXPLAY_CARD_FIELD)
#undef VXPLAY_CARD_FIELD
};

// Fills lib, and card when with_card is set. Returns a message naming the file or the entry
// point that is missing, empty on success. What is loaded stays loaded until the process ends.
std::string LoadEntryPoints(bool with_card, vxscene::Library &lib, CardFunctions &card);

}  // namespace vxplay
