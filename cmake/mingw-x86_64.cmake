# 64-bit Windows (x64) with Debian's mingw-w64 cross compiler, posix threads.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
