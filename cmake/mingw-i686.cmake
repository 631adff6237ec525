# 32-bit Windows (x86) with Debian's mingw-w64 cross compiler, posix threads.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZK_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
