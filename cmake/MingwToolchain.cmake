# Shared part of the two mingw-w64 toolchain files. The including file sets
# ZK_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
#
# Debian ships each cross compiler in two thread models; we use the posix one
# (winpthreads behind std::thread), linked statically like the rest of the
# compiler runtime so that the binaries import system DLLs only.

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${ZK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static pulls libgcc, libstdc++ and libwinpthread into every .exe and .dll;
# without it they would import libgcc_s_*.dll, libstdc++-6.dll and
# libwinpthread-1.dll, which no Windows machine has.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
