# 32-bit Windows, the target of the exported interface.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TALLYX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
