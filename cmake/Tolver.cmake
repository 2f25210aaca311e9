# Shared build settings of the project.

add_compile_options(-Wall -Wextra -Wno-unused-parameter)

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

# tolver_test(<name> SOURCES ... [LIBS ...])
# A GoogleTest executable registered with CTest, one CTest entry per test case.
function(tolver_test name)
  if(NOT TOLVER_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tolver GTest::gtest GTest::gtest_main ${T_LIBS})
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# tolver_fuzzer(<name> SOURCES ...): a libFuzzer target, built only with TOLVER_FUZZ.
function(tolver_fuzzer name)
  if(NOT TOLVER_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE tolver)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzzers ${name})
endfunction()
