#pragma once
// What the card's DLL entry points (drivers/virtualcard/server.cpp) need from the card.

#include "platform/com.h"

namespace vx::virtualcard {

// DllGetClassObject: the class factory of the card's device object (CLSID_VxDevice). The
// factory creates devices on the card that serves when it is asked: the installed one, else a
// card with the default options, created then.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **out);
// DllCanUnloadNow: no card object and no factory alive, no lock on the factory, no driver
// thread running and no completion held.
bool CanUnload();

}  // namespace vx::virtualcard
