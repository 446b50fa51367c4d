# Cross-compiling for Windows with Debian's mingw-w64 (the posix thread model, for std::thread).
# Included by toolchain-mingw-i686.cmake and toolchain-mingw-x86_64.cmake, which name the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TALLYX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALLYX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TALLYX_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${TALLYX_MINGW_PREFIX}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${TALLYX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
