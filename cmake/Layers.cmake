# The program's code in layers, one static library a folder:
#
#   setup      the driver and the wizard pages      uses every layer below
#   archive    the ZIP reader, extraction, inflater  uses actions, installlog, common
#   actions    folders, copies, registry, shortcuts  uses installlog, common
#   replay     the log's replay                      uses installlog, common
#   installlog the install log's records             uses common
#   common     process-wide values, text and paths   uses only the platform
#
# The uninstaller (uninstall/) is a program of its own on replay, installlog
# and common.
#
# Every layer may include the platform seam (platform/win.h). A layer's
# sources may include its own headers and those of the layers it uses, and
# nothing else: the build checks each source's includes before it compiles
# the layer, so an include that reaches upward or sideways fails the build.

# product_layer(NAME [USES LAYER...] [EXCLUDE FILE...]): the library tnm_NAME
# from NAME/*.cpp, linked with the layers it uses.
function(product_layer name)
  cmake_parse_arguments(L "" "" "USES;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${name}/*.cpp)
  foreach(x ${L_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${name}/${x})
  endforeach()
  add_library(tnm_${name} STATIC ${sources})
  target_include_directories(tnm_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  foreach(use ${L_USES})
    target_link_libraries(tnm_${name} PRIVATE tnm_${use})
  endforeach()
  if(WIN32)
    target_link_libraries(tnm_${name} PRIVATE win32_libraries)
  endif()
  small_code(tnm_${name})
  check_includes(tnm_${name} ${name} ${L_USES})
endfunction()

# check_includes(TARGET FOLDER USES...): before TARGET is built, the includes
# of FOLDER's files are checked against the layers it uses.
function(check_includes target folder)
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  set(stamp ${CMAKE_BINARY_DIR}/layers/${folder}.checked)
  # Lists travel to the script with '|' between their items.
  string(REPLACE ";" "|" uses "${ARGN}")
  string(REPLACE ";" "|" files_arg "${files}")
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DLAYER=${folder} -DUSES=${uses} -DFILES=${files_arg}
            -DSTAMP=${stamp} -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayer.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/CheckLayer.cmake
    COMMENT "Checking the includes of ${folder}/" VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()
