# Cross-build for Windows with Debian's MinGW-w64 (the -posix thread model); included by the
# toolchain file of each architecture, which sets MINGW_ARCH first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
set(CMAKE_C_COMPILER ${MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# A self-contained .exe: no MinGW runtime DLLs to ship next to it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Release programs without their symbol tables: half the size, and nothing a user's Windows
# could use.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
