# Functions that register the project's tests, fuzz targets and per-subsystem folders.

# Adds every sub-folder of the current folder that has a CMakeLists.txt, in name order: tests/,
# bench/ and fuzz/ hold one such folder per subsystem.
function(kestrova_add_subsystem_folders)
  file(GLOB parts LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT parts)
  foreach(part IN LISTS parts)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${part}/CMakeLists.txt)
      add_subdirectory(${part})
    endif()
  endforeach()
endfunction()

# Registers one test executable with ctest; tests run from the build folder. PROPERTIES are
# further test properties for every test of the executable (for example a fixture it requires).
function(kestrova_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;ENVIRONMENT;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
  # gcc 12 at -O3 reports writes out of bounds inside the standard library's vector and string
  # code that the tests' byte builders and string concatenations inline (false positives of its
  # object-size tracking, fixed in later releases); the sanitizer build checks the real bounds.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${name} PRIVATE -Wno-stringop-overflow -Wno-stringop-overread
                                           -Wno-restrict -Wno-array-bounds)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Discovered tests get their properties through a flat list, where a second ENVIRONMENT entry
  # would be taken for a property name: extra variables go through ENVIRONMENT_MODIFICATION.
  set(modification "")
  foreach(variable IN LISTS ARG_ENVIRONMENT)
    string(REGEX REPLACE "=" "=set:" entry "${variable}")
    list(APPEND modification ${entry})
  endforeach()
  list(LENGTH modification extra)
  if(extra GREATER 1)
    message(FATAL_ERROR "kestrova_add_test takes one ENVIRONMENT variable")
  endif()
  set(properties ENVIRONMENT "KESTROVA_REALDATA=${KESTROVA_REALDATA_DIR}")
  if(extra EQUAL 1)
    list(APPEND properties ENVIRONMENT_MODIFICATION "${modification}")
  endif()
  list(APPEND properties ${ARG_PROPERTIES})
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${properties})
endfunction()

# Registers one libFuzzer target and a bounded ctest run of it. The test run starts from a fixed
# seed so that what it tries is the same on every machine; scripts/fuzz.sh explores further.
# MAX_LEN bounds the inputs' length (kept beside the program as <name>.max_len for fuzz.sh), for
# targets whose seeds include large files.
function(kestrova_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SECONDS;MAX_LEN" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 20)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set(corpus ${CMAKE_BINARY_DIR}/fuzz/${name}-corpus)
  file(MAKE_DIRECTORY ${corpus})
  set(seeds "")
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${name})
    set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${name})
  endif()
  set(limits "")
  if(ARG_MAX_LEN)
    set(limits -max_len=${ARG_MAX_LEN})
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${name}.max_len "${ARG_MAX_LEN}\n")
  endif()
  add_test(NAME ${name}
           COMMAND ${name} -seed=1 -max_total_time=${ARG_SECONDS} -rss_limit_mb=2048 -timeout=10
                   ${limits} ${corpus} ${seeds}
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()
