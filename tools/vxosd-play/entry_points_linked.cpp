// Linux: the player is linked with libvxosd.so, which carries the software card as well.
#include "entry_points.h"

namespace vxplay {

std::string LoadEntryPoints(bool, vxscene::Library &lib, CardFunctions &card) {
  lib = vxscene::LinkedLibrary();
#define VXPLAY_CARD_LINKED(name) card.name = &::name;
  VXPLAY_CARD_ENTRIES(VXPLAY_CARD_LINKED)
#undef VXPLAY_CARD_LINKED
  return {};
}

}  // namespace vxplay
