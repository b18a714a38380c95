# Cross build for 64-bit Windows with Debian's mingw-w64 (the POSIX thread model, which
# std::thread and std::mutex need), run under wine by the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TESSAVOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSAVOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSAVOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSAVOR_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TESSAVOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# zlib linked in (libz.a), and the compiler's own runtimes too: the programs then run from
# any folder without DLLs beside them.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# The build (the demo) and the tests run the programs through wine in the build's own
# prefix (CMakeLists.txt sets CMAKE_CROSSCOMPILING_EMULATOR).
