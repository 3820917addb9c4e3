# Cross-builds the Windows program on Debian with mingw-w64: 64-bit, the POSIX thread model (so
# std::thread and std::mutex work), and the compiler's runtime linked in statically, so that
# kadro.exe runs on a Windows machine without any further DLL.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Tests run through Wine when it is installed (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KADRO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KADRO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KADRO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KADRO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KADRO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static also takes winpthread in statically, which the POSIX thread model needs at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(KADRO_WINE wine)
if(KADRO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KADRO_WINE})
endif()
