# Installation and the Debian package: cmake --build build --target package writes
# build/kestrova_<version>_<arch>.deb. Programs go to /usr/bin, the plug-ins and Ravelin's data
# to /usr/lib/kestrova/Plugins, and the desktop entry, icons, MIME types and manual pages to
# /usr/share.

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${CMAKE_BINARY_DIR}/packaging)

if(TARGET kestrova)
  install(TARGETS kestrova RUNTIME DESTINATION bin)
endif()
install(TARGETS kestrova-cli RUNTIME DESTINATION bin)

install(FILES ${packaging}/kestrova.desktop DESTINATION share/applications)
install(FILES ${packaging}/kestrova-mime.xml DESTINATION share/mime/packages RENAME kestrova.xml)
install(FILES ${packaging}/kestrova.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${packaging}/copyright DESTINATION share/doc/kestrova)

# The icon at the sizes desktop menus use, drawn from the one SVG.
find_program(RSVG_CONVERT rsvg-convert)
set(icons "")
if(RSVG_CONVERT)
  foreach(size 16 24 32 48 64 128 256)
    set(png ${generated}/icons/${size}/kestrova.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons/${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${packaging}/kestrova.svg
      DEPENDS ${packaging}/kestrova.svg VERBATIM)
    list(APPEND icons ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(STATUS "rsvg-convert not found: the package carries the scalable icon only")
endif()

# Manual pages and the changelog, compressed as Debian keeps them.
set(compressed "")
foreach(page kestrova kestrova-cli)
  configure_file(${packaging}/man/${page}.1 ${generated}/${page}.1 @ONLY)
  list(APPEND compressed ${generated}/${page}.1)
endforeach()
configure_file(${packaging}/changelog ${generated}/changelog @ONLY)
list(APPEND compressed ${generated}/changelog)
foreach(file IN LISTS compressed)
  add_custom_command(OUTPUT ${file}.gz
    COMMAND gzip -9 -n -c ${file} > ${file}.gz
    DEPENDS ${file} VERBATIM)
endforeach()
install(FILES ${generated}/kestrova.1.gz ${generated}/kestrova-cli.1.gz DESTINATION share/man/man1)
install(FILES ${generated}/changelog.gz DESTINATION share/doc/kestrova)

list(TRANSFORM compressed APPEND .gz)
add_custom_target(package_files ALL DEPENDS ${icons} ${compressed})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrova)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Kestrova developers <kestrova@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor of Unity asset files, with a mod packager")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Kestrova opens serialized Unity asset files (.assets files and uncompressed\n"
  "bundles), lists every asset they hold, shows text, textures, sounds and raw\n"
  "bytes in plug-in panels, exports and imports asset data raw or converted to\n"
  "ordinary files, adds and removes assets, searches all data, and saves the\n"
  "edited file under a new name. Ravelin, its mod packager, collects assets into\n"
  "a mod and packages it into a Windows installer program. kestrova-cli runs the\n"
  "same operations from scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The text and hex panels set text in the system's monospaced font, which fontconfig takes from
# one of these families; without any of them it falls back to a proportional one.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core | fonts-noto-mono")
# The audio plug-in plays Ogg Vorbis and MP3 clips through the system's media framework.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
