# program_resources(target file.rc ...): the program's dialog templates and
# bitmaps. On Windows windres compiles the .rc files; on the host build the
# same files are embedded as text (with their #include "..." files expanded)
# and the host layer builds its dialogs from them, so both sides read one
# source of truth.
if(WIN32)
  enable_language(RC)
endif()

function(program_resources target)
  foreach(rc ${ARGN})
    get_filename_component(abs ${rc} ABSOLUTE)
    if(WIN32)
      target_sources(${target} PRIVATE ${abs})
    else()
      get_filename_component(stem ${rc} NAME_WE)
      get_filename_component(dir ${abs} DIRECTORY)
      set(out ${CMAKE_CURRENT_BINARY_DIR}/rc/${target}_${stem}_rc.cpp)
      # The files the script includes and the bitmaps it names are listed in
      # a depfile by the embedding step; the folder's headers and bitmaps are
      # named here as well, for the first build.
      file(GLOB deps ${dir}/*.h ${dir}/*.bmp)
      add_custom_command(
        OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${abs} -DOUTPUT=${out} -DDEPFILE=${out}.d
                "-DINCLUDE_DIRS=${CMAKE_SOURCE_DIR}"
                -P ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
        DEPENDS ${abs} ${deps} ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
        DEPFILE ${out}.d
        COMMENT "Embedding ${rc}")
      target_sources(${target} PRIVATE ${out})
    endif()
  endforeach()
endfunction()
