# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (POSIX thread
# model, so std::thread, std::mutex and the semaphores work). Everything is
# linked statically: the programs need no DLLs beyond the system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LICHTBOX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LICHTBOX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LICHTBOX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LICHTBOX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LICHTBOX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
