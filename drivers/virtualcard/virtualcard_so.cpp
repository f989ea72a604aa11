// libvxvirtualcard.so: the card module (linked in whole) is the library; this file only gives
// the shared library a source of its own, as server.cpp does for the Windows DLL.
#include "drivers/virtualcard/virtualcard.h"
