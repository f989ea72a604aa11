# 32-bit Windows, the product's target: mingw-w64 with the posix thread model (std::thread,
# std::mutex), linked statically so the DLL and the tests import only system DLLs. Tests run
# through Wine (wine32, under qemu-i386 on kernels without 32-bit execution).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VXOSD_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
