# What both cross-builds share; the toolchain file that includes this sets
# CMAKE_SYSTEM_PROCESSOR (i686 or x86_64) first. The -win32 thread model: the
# -posix one links the posix threads runtime statically into every file, and
# with it GetTickCount64 (Windows Vista) and the vectored exception handlers
# (Windows XP), so that Windows 2000, XP and Server 2003 refuse to load the
# files. The tests build with the same compilers, so that they test the very
# objects that ship (tests/support/gtest-custom says what GoogleTest needs).
set(CMAKE_SYSTEM_NAME Windows)
set(triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER   ${triple}-gcc-win32)
set(CMAKE_CXX_COMPILER ${triple}-g++-win32)
set(CMAKE_RC_COMPILER  ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs the cross-built programs through Wine, in the prefix that
# tools/wine-session prepared for this build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-exec)
