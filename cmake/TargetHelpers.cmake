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

# What every target of test code is compiled with.
function(kestrova_test_code_options target)
  # Test code is compiled at -O1 with line tables only (as the sanitizer build compiles everything)
  # in the optimised builds: it takes half the compile time of -O2 with full debug information and
  # runs about as fast, and the code under test keeps the build type's optimisation. A Debug build
  # keeps everything debuggable.
  if(NOT KESTROVA_SANITIZE)
    target_compile_options(${target} PRIVATE "$<$<NOT:$<CONFIG:Debug>>:-O1;-g1>")
  endif()
  # Position-independent as libraries are, whether or not the program links Qt (which asks that of
  # its users), so that one precompiled header fits every test program.
  target_compile_options(${target} PRIVATE -fPIC)
  # Only the libraries that fuzz targets link need the fuzzers' coverage instrumentation.
  if(KESTROVA_FUZZ)
    target_compile_options(${target} PRIVATE -fno-sanitize=fuzzer-no-link)
  endif()
  # gcc 12 at -O3 reports writes out of bounds inside the standard library's vector and string
  # code that the tests' byte builders and string concatenations inline (false positives of its
  # object-size tracking, fixed in later releases); the sanitizer build checks the real bounds.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-stringop-overflow -Wno-stringop-overread
                                             -Wno-restrict -Wno-array-bounds)
  endif()
endfunction()

# kestrova_add_test_support(<name> SOURCES ... [LIBRARIES ...])
# Code that several test programs share, compiled once into the target kestrova_<name>: its
# objects go whole into every test program that lists kestrova::<name> among its LIBRARIES (also
# what only registers itself, such as a global test environment). Test code includes its headers
# by their path from the repository's top.
function(kestrova_add_test_support name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  set(target kestrova_${name})
  add_library(${target} OBJECT ${ARG_SOURCES})
  add_library(kestrova::${name} ALIAS ${target})
  target_link_libraries(${target} PUBLIC ${ARG_LIBRARIES} GTest::gtest)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  kestrova_test_code_options(${target})
endfunction()

# The test programs share two precompiled headers, each made once per build: GoogleTest and the
# standard library for every test program, and the same with Qt's widgets for the window tests
# (those that link kestrova::gui_test_support); the Qt-free tests never see Qt. Each header is
# made by a target of its own, compiled as test programs are but without definitions of its own:
# the compiler takes a header only where every macro defined when it was made is defined alike.
# QtTest stays out, as its headers depend on macros that differ between test folders.
function(kestrova_test_precompiled_headers target)
  if("kestrova::gui_test_support" IN_LIST ARGN)
    set(kind window)
  else()
    set(kind plain)
  endif()
  set(owner kestrova_test_headers_${kind})
  if(NOT TARGET ${owner})
    set(source ${CMAKE_BINARY_DIR}/tests/${owner}.cpp)
    file(WRITE ${source} "// Makes the precompiled header that the test programs share.\n")
    add_library(${owner} OBJECT ${source})
    target_link_libraries(${owner} PRIVATE GTest::gtest)
    kestrova_test_code_options(${owner})
    set(headers <gtest/gtest.h> <algorithm> <filesystem> <fstream> <map> <string> <vector>)
    if(kind STREQUAL "window")
      target_link_libraries(${owner} PRIVATE Qt6::Widgets)
      list(APPEND headers <QApplication> <QComboBox> <QImage> <QLabel> <QLineEdit>
                          <QPlainTextEdit> <QPushButton> <QWidget>)
    endif()
    target_precompile_headers(${owner} PRIVATE ${headers})
  endif()
  target_precompile_headers(${target} REUSE_FROM ${owner})
  # ccache caches a compilation with a precompiled header only when it may take the header's
  # macros and time stamps as they are.
  if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    set_target_properties(${target} ${owner} PROPERTIES CXX_COMPILER_LAUNCHER
      "${CMAKE_COMMAND};-E;env;CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime;${CMAKE_CXX_COMPILER_LAUNCHER}")
  endif()
endfunction()

# Registers one test executable with ctest; tests run from the build folder. PROPERTIES are
# further test properties for every test of the executable (for example a fixture it requires).
function(kestrova_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;ENVIRONMENT;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
  kestrova_test_code_options(${name})
  kestrova_test_precompiled_headers(${name} ${ARG_LIBRARIES})
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

# kestrova_add_fuzzer(<name> SOURCES ... LIBRARIES ... [SECONDS <s>] [MAX_LEN <bytes>]
#                     [SEEDS <file or glob> ...] [REAL_FILES <glob> ...])
# Builds the libFuzzer target <build>/fuzz/<name> and registers a bounded ctest run of it (SECONDS,
# default 20, labelled fuzz) that starts from a fixed seed, so that what it tries is the same on
# every machine; scripts/fuzz.sh explores further with the same inputs and limits.
#   MAX_LEN     the longest input tried (default 4096). Keep it to what the parser reads: longer
#               inputs only make every run slower (aim well over 1,000 inputs a second).
#   SEEDS       small files of what the target parses, beside the checked-in seeds/<name>/ folder
#               of the calling folder (for example the plug-in descriptors of plugins/).
#   REAL_FILES  globs under the real game files' folder (KESTROVA_REALDATA_DIR); the files that
#               match and are at most MAX_LEN bytes long seed the target where the folder exists.
# All seeds are gathered at configure time into <build>/fuzz/<name>-seeds; what the runs find
# goes to <build>/fuzz/<name>-corpus. <build>/fuzz/<name>.args holds the arguments both use.
function(kestrova_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SECONDS;MAX_LEN" "SOURCES;LIBRARIES;SEEDS;REAL_FILES" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 20)
  endif()
  if(NOT ARG_MAX_LEN)
    set(ARG_MAX_LEN 4096)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set_property(GLOBAL APPEND PROPERTY KESTROVA_FUZZERS ${name})

  set(corpus ${CMAKE_BINARY_DIR}/fuzz/${name}-corpus)
  set(seedFolder ${CMAKE_BINARY_DIR}/fuzz/${name}-seeds)
  file(MAKE_DIRECTORY ${corpus})
  file(REMOVE_RECURSE ${seedFolder})
  file(GLOB seeds CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${name}/* ${ARG_SEEDS})
  foreach(pattern IN LISTS ARG_REAL_FILES)
    file(GLOB real LIST_DIRECTORIES false ${KESTROVA_REALDATA_DIR}/${pattern})
    foreach(file IN LISTS real)
      file(SIZE ${file} size)
      if(size LESS_EQUAL ARG_MAX_LEN)
        list(APPEND seeds ${file})
      endif()
    endforeach()
  endforeach()
  # Seeds of different folders may share a name: each keeps its parent folder's name in front.
  foreach(seed IN LISTS seeds)
    get_filename_component(seedName ${seed} NAME)
    get_filename_component(parent ${seed} DIRECTORY)
    get_filename_component(parent ${parent} NAME)
    configure_file(${seed} ${seedFolder}/${parent}-${seedName} COPYONLY)
  endforeach()
  file(MAKE_DIRECTORY ${seedFolder})

  set(arguments -max_len=${ARG_MAX_LEN} -rss_limit_mb=2048 -timeout=10 ${corpus} ${seedFolder})
  string(REPLACE ";" "\n" lines "${arguments}")
  file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${name}.args "${lines}\n")
  add_test(NAME ${name}
           COMMAND ${name} -seed=1 -max_total_time=${ARG_SECONDS} ${arguments}
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  # libsquish encodes on OpenMP threads, which would otherwise spin between the small inputs and
  # take most of the CPU time (scripts/fuzz.sh sets the same).
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 300
                       ENVIRONMENT OMP_WAIT_POLICY=passive)
endfunction()
