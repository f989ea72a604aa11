#pragma once
// What the card's DLL entry points (drivers/virtualcard/win32/server.cpp, which sees the
// system's COM headers rather than the platform's) need from the card.

#include <cstdint>
#include <string>

namespace vx::virtualcard {

// DllGetClassObject: the class factory of the card's device object (CLSID_VxDevice). The
// factory creates devices on the card that serves when it is asked: the installed one, else a
// card with the default options, created then.
std::int32_t GetClassObject(const void *clsid, const void *iid, void **out);
// DllCanUnloadNow: no card object and no factory alive, no lock on the factory, no driver
// thread running and no completion held.
bool CanUnload();
// The device's class id, "{5E91AF27-...}".
std::string ClassId();

}  // namespace vx::virtualcard
