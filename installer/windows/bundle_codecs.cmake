# The bundles of the installer program: document/bundle's container layer (readers, the data
# stream, the writer) and its codecs, built for Windows.
# Debian has no MinGW builds of liblz4 or liblzma, so the libraries' own C sources are compiled:
# LZ4 from Debian's lz4 source package and LZMA from the LZMA SDK sources of Debian's lzma-dev,
# both put in place by scripts/install-deps.sh. A codec whose sources are missing is left out;
# the program then refuses blocks of that compression by name, and this build says so.
set(KESTROVA_LZ4_SOURCE_DIR /usr/local/src/kestrova-windows/lz4/lib CACHE PATH
    "lib/ of Debian's lz4 source package (scripts/install-deps.sh unpacks it)")
set(KESTROVA_LZMA_SDK_DIR /usr/include/lzma CACHE PATH
    "The LZMA SDK's C sources (Debian's lzma-dev)")

set(bundle ${root}/document/bundle)
set(containerSources block_compressor.cpp bundle_archive.cpp bundle_document.cpp bundle_writer.cpp
    byte_source.cpp codec.cpp data_stream.cpp legacy_header.cpp node_export.cpp unityfs_reader.cpp
    unityraw_reader.cpp unityweb_reader.cpp)
list(TRANSFORM containerSources PREPEND ${bundle}/)
add_library(kestrova_bundle_codecs STATIC ${containerSources})
add_library(kestrova::bundle_codecs ALIAS kestrova_bundle_codecs)
# The installer's core links the container layer by the name the Linux build gives it.
add_library(kestrova::bundle ALIAS kestrova_bundle_codecs)
target_link_libraries(kestrova_bundle_codecs PUBLIC kestrova::document)
set(codecsMissing FALSE)
# A codec left out: the build says why, and codec_unavailable.cpp refuses its blocks.
macro(leave_codec_out definition)
  message(WARNING ${ARGN})
  target_compile_definitions(kestrova_bundle_codecs PRIVATE ${definition})
  set(codecsMissing TRUE)
endmacro()

set(lz4Sources ${KESTROVA_LZ4_SOURCE_DIR}/lz4.c ${KESTROVA_LZ4_SOURCE_DIR}/lz4hc.c)
if(EXISTS ${KESTROVA_LZ4_SOURCE_DIR}/lz4.c AND EXISTS ${KESTROVA_LZ4_SOURCE_DIR}/lz4hc.c)
  target_sources(kestrova_bundle_codecs PRIVATE ${bundle}/codec_lz4.cpp ${lz4Sources})
  target_include_directories(kestrova_bundle_codecs PRIVATE ${KESTROVA_LZ4_SOURCE_DIR})
  # Third-party code, compiled as its authors wrote it.
  set_source_files_properties(${lz4Sources} PROPERTIES COMPILE_OPTIONS -w)
  message(STATUS "Installer program: LZ4 and LZ4HC from ${KESTROVA_LZ4_SOURCE_DIR}")
else()
  leave_codec_out(KESTROVA_NO_LZ4 "The lz4 sources are not in ${KESTROVA_LZ4_SOURCE_DIR} (run "
                  "scripts/install-deps.sh): the installer program refuses LZ4 bundles")
endif()

# Only the SDK's own files are copied beside the build; its folder also holds liblzma's headers,
# which must not shadow anything.
set(sdkFiles LzmaDec.c LzmaDec.h LzmaEnc.c LzmaEnc.h LzFind.c LzFind.h LzHash.h Types.h)
set(sdkFound TRUE)
foreach(file IN LISTS sdkFiles)
  if(NOT EXISTS ${KESTROVA_LZMA_SDK_DIR}/${file})
    set(sdkFound FALSE)
  endif()
endforeach()
if(sdkFound)
  set(sdkCopy ${CMAKE_CURRENT_BINARY_DIR}/lzma-sdk)
  set(sdkSources "")
  foreach(file IN LISTS sdkFiles)
    configure_file(${KESTROVA_LZMA_SDK_DIR}/${file} ${sdkCopy}/${file} COPYONLY)
    if(file MATCHES "\\.c$")
      list(APPEND sdkSources ${sdkCopy}/${file})
    endif()
  endforeach()
  target_sources(kestrova_bundle_codecs PRIVATE ${bundle}/codec_lzma_sdk.cpp ${sdkSources})
  target_include_directories(kestrova_bundle_codecs PRIVATE ${sdkCopy})
  # One thread (no LzFindMt), and <windows.h> without its min and max macros.
  target_compile_definitions(kestrova_bundle_codecs PRIVATE _7ZIP_ST NOMINMAX
                             WIN32_LEAN_AND_MEAN)
  set_source_files_properties(${sdkSources} PROPERTIES COMPILE_OPTIONS -w)
  message(STATUS "Installer program: LZMA from the LZMA SDK in ${KESTROVA_LZMA_SDK_DIR}")
else()
  leave_codec_out(KESTROVA_NO_LZMA "The LZMA SDK sources are not in ${KESTROVA_LZMA_SDK_DIR} "
                  "(Debian's lzma-dev, run scripts/install-deps.sh): the installer program "
                  "refuses LZMA bundles")
endif()
if(codecsMissing)
  target_sources(kestrova_bundle_codecs PRIVATE ${bundle}/codec_unavailable.cpp)
endif()
