#include <vxosd/vxosd.h>

int main(void) { return VxOSD_EventFd() < -1; }
