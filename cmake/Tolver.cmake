# Shared build settings of the project.

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
# GCC 12 at -O2 reports overlapping copies inside std::string's operator+ with a
# literal on the left (a known false positive of its -Wrestrict).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()

if(TOLVER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TOLVER_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TOLVER_FUZZ needs clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(fuzzers)
endif()

# tolver_library_sources(<target> <folder>): adds every *.cpp under <folder> outside
# tests/ folders to <target>, and the tests of every tests/ folder under <folder>.
# A tools/ folder (a command-line program beside the library) is left out of the
# library and built by its own CMakeLists.txt. EXCLUDE <regex>... leaves further
# sources out of the library (a program's main, a folder built on its own).
function(tolver_library_sources target folder)
  cmake_parse_arguments(S "" "" "EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/(tests|tools)/")
  foreach(pattern ${S_EXCLUDE})
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  target_sources(${target} PRIVATE ${sources})
  file(GLOB_RECURSE dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${folder}/*)
  foreach(dir ${dirs})
    if(IS_DIRECTORY ${dir} AND dir MATCHES "/tests$")
      tolver_tests(${dir})
    elseif(IS_DIRECTORY ${dir} AND dir MATCHES "/tools$" AND EXISTS ${dir}/CMakeLists.txt)
      file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${dir})
      add_subdirectory(${dir} ${CMAKE_BINARY_DIR}/${rel})
    endif()
  endforeach()
endfunction()

# tolver_tests(<folder>): the tests of one tests/ folder. A folder with its own
# CMakeLists.txt describes its tests itself; otherwise every *_test.cpp is one test
# executable and every fuzz_*.cpp one libFuzzer target.
function(tolver_tests dir)
  if(EXISTS ${dir}/CMakeLists.txt)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${dir})
    add_subdirectory(${dir} ${CMAKE_BINARY_DIR}/${rel})
    return()
  endif()
  # Executables are named after their folder: common/tests/util_test.cpp -> common_util_test.
  get_filename_component(owner ${dir} DIRECTORY)
  file(RELATIVE_PATH prefix ${PROJECT_SOURCE_DIR} ${owner})
  string(REPLACE "/" "_" prefix "${prefix}")
  file(GLOB tests CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    tolver_test(${prefix}_${name} SOURCES ${src})
  endforeach()
  file(GLOB fuzzers CONFIGURE_DEPENDS ${dir}/fuzz_*.cpp)
  foreach(src ${fuzzers})
    get_filename_component(name ${src} NAME_WE)
    tolver_fuzzer(${name} SOURCES ${src})
  endforeach()
endfunction()

# tolver_test(<name> SOURCES ... [LIBS ...])
# A GoogleTest executable registered with CTest, one CTest entry per test case.
function(tolver_test name)
  if(NOT TOLVER_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  # A test file with its own main() (one that makes a QApplication, gui_test_main.h)
  # wins over gtest_main.
  target_link_libraries(${name} PRIVATE tolver GTest::gtest GTest::gmock GTest::gtest_main Qt6::Test Qt6::Widgets ${T_LIBS})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# tolver_fuzzer(<name> SOURCES ... [LIBS ...]): a libFuzzer target, built only with TOLVER_FUZZ.
function(tolver_fuzzer name)
  if(NOT TOLVER_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE tolver ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzzers ${name})
endfunction()

# tolver_module(<name> SOURCES ... [SUFFIX <.csh>] [LIBS ...] [OUTPUT_DIRECTORY <dir>] [EXPORTS ...])
# A plug-in module: a MODULE library named <name><SUFFIX> without the "lib" prefix,
# linked with libtolver, compiled with hidden symbols, and linked with a version
# script that leaves only its extern "C" entry points (TOLVER_EXPORT) in the dynamic
# symbol table: by default the standard server exports and the driver library's.
set(TOLVER_MODULE_EXPORTS DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer
    GetLibInfo PropertiesDialog GetDefaultProperties)
function(tolver_module name)
  cmake_parse_arguments(M "" "SUFFIX;OUTPUT_DIRECTORY" "SOURCES;LIBS;EXPORTS" ${ARGN})
  if(NOT M_SUFFIX)
    set(M_SUFFIX ".csh")
  endif()
  if(NOT M_EXPORTS)
    set(M_EXPORTS ${TOLVER_MODULE_EXPORTS})
  endif()
  list(JOIN M_EXPORTS "; " globals)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}.exports)
  file(WRITE ${script} "{\n  global: ${globals};\n  local: *;\n};\n")
  add_library(${name} MODULE ${M_SOURCES})
  target_link_libraries(${name} PRIVATE tolver ${M_LIBS})
  target_link_options(${name} PRIVATE -Wl,--version-script=${script} -Wl,--no-undefined)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    SUFFIX ${M_SUFFIX}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${script}
    AUTOMOC ON)
  if(M_OUTPUT_DIRECTORY)
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${M_OUTPUT_DIRECTORY})
  endif()
endfunction()
