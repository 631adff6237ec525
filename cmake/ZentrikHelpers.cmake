# Target helpers used by every folder's CMakeLists.txt.
#
# Each helper takes the target name first, then keyword arguments:
#   SOURCES <file>...   the sources, listed one by one (no globbing). For
#                       zk_add_test and zk_add_fuzzer the keyword may be left
#                       out: files right after the name are sources too.
#   LIBS <lib>...       libraries to link: our own targets (zk_core, ...) and
#                       Windows import libraries by plain name (shlwapi, ...).
#
# Every target made here links zk_options (warnings, the project root as the
# include root: #include "toolkit/TextBuffer.h").

include_guard(GLOBAL)

# Parses the common arguments into ARG_SOURCES, ARG_LIBS, ARG_LABELS and
# ARG_<key> for the one-value keywords in `one` and the options in `flags`.
# Unparsed arguments count as sources only when `loose` is TRUE, otherwise
# they are an error, so that a misspelt keyword does not turn into a source.
macro(_zk_parse name loose flags one)
  cmake_parse_arguments(ARG "${flags}" "${one}" "SOURCES;LIBS;LABELS" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    if(${loose})
      list(APPEND ARG_SOURCES ${ARG_UNPARSED_ARGUMENTS})
    else()
      message(FATAL_ERROR "${name}: unexpected arguments: ${ARG_UNPARSED_ARGUMENTS}")
    endif()
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "${name}: no SOURCES given")
  endif()
endmacro()

# zk_add_library(<name> SOURCES <file>... [LIBS <lib>...])
# A static library. LIBS are PUBLIC: whoever links <name> gets them too.
function(zk_add_library name)
  _zk_parse(${name} FALSE "" "" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC zk_options ${ARG_LIBS})
endfunction()

# zk_add_program(<name> SOURCES <file>... [RC <file.rc>] [LIBS <lib>...]
#                [GUI] [OUTPUT_NAME <name>])
# A Windows program (cross builds). GUI selects the windows subsystem (WinMain);
# without it the program is a console program.
function(zk_add_program name)
  _zk_parse(${name} FALSE "GUI" "RC;OUTPUT_NAME" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_RC})
  target_link_libraries(${name} PRIVATE zk_options ${ARG_LIBS})
  if(ARG_GUI)
    set_target_properties(${name} PROPERTIES WIN32_EXECUTABLE TRUE)
  endif()
  if(ARG_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
endfunction()

# zk_add_dll(<name> SOURCES <file>... DEF <file.def> [RC <file.rc>]
#            [LIBS <lib>...] [OUTPUT_NAME <name>])
# A Windows DLL named <OUTPUT_NAME or name>.dll (no "lib" prefix). The .def
# file is required: it is what keeps the i686 exports of stdcall functions
# undecorated (DllGetClassObject, not _DllGetClassObject@12).
function(zk_add_dll name)
  _zk_parse(${name} FALSE "" "DEF;RC;OUTPUT_NAME" ${ARGN})
  if(NOT ZK_CROSS)
    message(FATAL_ERROR "zk_add_dll(${name}): DLLs are built by the win32/win64 builds only")
  endif()
  if(NOT ARG_DEF)
    message(FATAL_ERROR "zk_add_dll(${name}): DEF <file.def> is required")
  endif()
  add_library(${name} SHARED ${ARG_SOURCES} ${ARG_DEF} ${ARG_RC})
  target_link_libraries(${name} PRIVATE zk_options ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES PREFIX "")
  if(ARG_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
endfunction()

# zk_add_test(<name> [SOURCES] <file>... [LIBS <lib>...] [TIMEOUT <s>]
#             [LABELS <label>...])
# A GoogleTest executable (with gmock and gtest_main) registered as ONE ctest
# entry: a Wine start costs more than a test case. The entry runs in the
# executable's folder and leaves a GoogleTest XML report there as
# <name>.gtest.xml. In the cross builds ctest runs it through
# cmake/wine-run.sh (CMAKE_CROSSCOMPILING_EMULATOR), one at a time: the
# tests of a build share one Wine prefix and its registry.
function(zk_add_test name)
  _zk_parse(${name} TRUE "" "TIMEOUT" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE zk_options ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  add_test(NAME ${name}
           COMMAND ${name} --gtest_output=xml:${name}.gtest.xml
           WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "unit;${ARG_LABELS}")
  if(ZK_CROSS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK zk_wineprefix)
  endif()
  zk_scale_timeouts_at_end()
endfunction()

# zk_add_fuzzer(<name> [SOURCES] <file>... [LIBS <lib>...])
# A libFuzzer target (host build with clang only; see ZK_FUZZ). ctest gets a
# short smoke run of it (ZK_FUZZ_SMOKE_RUNS inputs, fixed seed, no corpus);
# scripts/test.sh gives every target listed in <build>/fuzzers.txt a longer,
# timed run over a corpus kept in the build folder.
function(zk_add_fuzzer name)
  if(NOT ZK_FUZZ)
    message(FATAL_ERROR "zk_add_fuzzer(${name}): fuzz targets need the host build with clang (ZK_FUZZ)")
  endif()
  _zk_parse(${name} TRUE "" "" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE zk_options ${ARG_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_test(NAME ${name} COMMAND ${name} -runs=${ZK_FUZZ_SMOKE_RUNS} -seed=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS "fuzz")
  set_property(GLOBAL APPEND PROPERTY ZK_FUZZERS ${name})
endfunction()

# Writes <build>/fuzzers.txt: one line "<name> <path of the executable>" per
# fuzz target. Called once, at the end of the top-level CMakeLists.txt.
function(zk_write_fuzzer_list)
  get_property(fuzzers GLOBAL PROPERTY ZK_FUZZERS)
  set(lines "")
  foreach(f IN LISTS fuzzers)
    string(APPEND lines "${f} $<TARGET_FILE:${f}>\n")
  endforeach()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzzers.txt CONTENT "${lines}")
endfunction()

# zk_scale_timeouts_at_end()
# At the end of the calling folder's CMakeLists.txt, multiplies the TIMEOUT of
# every test that folder registered by ZK_TEST_TIMEOUT_FACTOR (scripts/test.sh
# raises it for x86 tests run under emulation; 1 leaves them as they are).
# zk_add_test calls it; a folder that registers tests with add_test alone
# calls it itself. Scheduled once per folder, so TIMEOUTs set after the call
# are scaled too.
function(zk_scale_timeouts_at_end)
  get_property(scheduled DIRECTORY PROPERTY ZK_TIMEOUTS_SCALED)
  if(scheduled OR ZK_TEST_TIMEOUT_FACTOR EQUAL 1)
    return()
  endif()
  set_property(DIRECTORY PROPERTY ZK_TIMEOUTS_SCALED 1)
  cmake_language(DEFER CALL _zk_scale_timeouts_now)
endfunction()

function(_zk_scale_timeouts_now)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    get_test_property(${test} TIMEOUT timeout)
    if(timeout)
      math(EXPR timeout "${timeout} * ${ZK_TEST_TIMEOUT_FACTOR}")
      set_tests_properties(${test} PROPERTIES TIMEOUT ${timeout})
    endif()
  endforeach()
endfunction()
