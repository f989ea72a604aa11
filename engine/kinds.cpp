#include "engine/kinds.h"

namespace vx {

namespace {

// Indexed by TOSD_Component.
const TOSDKindOps *const kKindTable[kComponentKindCount] = {
    &kPanelOps,       // eosdPanel
    &kScrollTextOps,  // eOSDScrollText
    &kTextOps,        // eOSDText
    &kPictureOps,     // eOSDPicute
    &kDateTimeOps,    // eOSDDateTime
};

}  // namespace

const TOSDKindOps *KindOps(int kind) {
  if (kind < 0 || kind >= kComponentKindCount) return nullptr;
  return kKindTable[kind];
}

}  // namespace vx
