# Compiler flags shared by every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic)
if(KESTROVA_WERROR)
  add_compile_options(-Werror)
endif()

# Linked with lld where it is installed (scripts/install-deps.sh installs it): the same programs
# as the system's linker makes, in a fraction of the time, which counts with many test programs.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld KESTROVA_HAVE_LLD)
if(KESTROVA_HAVE_LLD)
  add_link_options(-fuse-ld=lld)
endif()

# The sanitizer build optimises at -O1 and keeps line tables only, whatever the build type: what
# the sanitizers need to find faults and to name the lines of a report, at far less compile and
# link time than -O2 with full debug information.
if(KESTROVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -O1
                      $<IF:$<CXX_COMPILER_ID:Clang>,-gline-tables-only,-g1>)
  add_link_options(-fsanitize=address,undefined)
endif()

# Fuzz targets link libFuzzer's main; the libraries they test are instrumented for coverage.
if(KESTROVA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KESTROVA_FUZZ needs clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
