# Builds plug-in libraries into the run folder, as a third party would build them: against the
# plug-in interface only.

# Everything the run folder needs is collected here, so that one target builds the whole
# installation (see the target `run_folder`).
function(kestrova_add_to_run_folder)
  set_property(GLOBAL APPEND PROPERTY KESTROVA_RUN_FOLDER_TARGETS ${ARGN})
endfunction()

# kestrova_add_plugin(<target> FOLDER <folder> [LIBRARY_NAME <name>] SOURCES ...
#                     [DESCRIPTORS <file.plg> ...] [LIBRARIES ...])
# Makes <run>/Plugins/<folder>/<name>.so (name defaults to the target) and copies each descriptor
# beside it. Only the five entry points are exported.
function(kestrova_add_plugin target)
  cmake_parse_arguments(ARG "" "FOLDER;LIBRARY_NAME" "SOURCES;DESCRIPTORS;LIBRARIES" ${ARGN})
  if(NOT ARG_LIBRARY_NAME)
    set(ARG_LIBRARY_NAME ${target})
  endif()
  set(folder ${KESTROVA_RUN_DIR}/Plugins/${ARG_FOLDER})
  add_library(${target} MODULE ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE kestrova::plugin_interface ${ARG_LIBRARIES})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${ARG_LIBRARY_NAME}
    LIBRARY_OUTPUT_DIRECTORY ${folder}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  foreach(descriptor IN LISTS ARG_DESCRIPTORS)
    get_filename_component(descriptorName ${descriptor} NAME)
    configure_file(${descriptor} ${folder}/${descriptorName} COPYONLY)
  endforeach()
  kestrova_add_to_run_folder(${target})
  # Installed the same way under lib/kestrova/Plugins.
  install(TARGETS ${target} LIBRARY DESTINATION ${KESTROVA_PLUGIN_INSTALL_DIR}/${ARG_FOLDER})
  install(FILES ${ARG_DESCRIPTORS} DESTINATION ${KESTROVA_PLUGIN_INSTALL_DIR}/${ARG_FOLDER})
endfunction()
