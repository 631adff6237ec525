# GoogleTest and gmock, built from Debian's sources (package googletest) inside
# each build, so the cross builds get Windows libraries. Targets:
# GTest::gtest, GTest::gtest_main, GTest::gmock, GTest::gmock_main.
include_guard(GLOBAL)

set(ZK_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${ZK_GOOGLETEST_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${ZK_GOOGLETEST_DIR}; run scripts/setup.sh")
endif()

set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
# gtest_disable_pthreads stays at its default: under MinGW GoogleTest uses the
# Win32 threading primitives anyway, on the host it uses pthreads.

add_subdirectory(${ZK_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
