#include "scene/library.h"

namespace vxscene {

const Library &LinkedLibrary() {
  static const Library table = {
#define VXOSD_LIBRARY_LINKED(name) &::name,
      VXOSD_LIBRARY_ENTRIES(VXOSD_LIBRARY_LINKED)
#undef VXOSD_LIBRARY_LINKED
  };
  return table;
}

}  // namespace vxscene
