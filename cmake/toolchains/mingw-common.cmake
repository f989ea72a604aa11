# Shared by the mingw-w64 toolchain files; VXOSD_MINGW_TRIPLET names the target.
set(CMAKE_C_COMPILER ${VXOSD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VXOSD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VXOSD_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VXOSD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must not hand the host's Linux libraries to a Windows build.
set(ENV{PKG_CONFIG_LIBDIR} "")
set(ENV{PKG_CONFIG_PATH} "")
# The compiler's run-time (libstdc++, libgcc, winpthread) goes inside each binary.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
