# program_resources(target file.rc ...): the program's dialog templates and
# bitmaps. Both builds compile the .rc files with windres. On Windows the
# linker puts them into the program; the host build has windres write a .res
# file, whose bytes are embedded and registered with the host layer at
# start-up, which reads its dialogs from them as Windows does.
if(WIN32)
  enable_language(RC)
else()
  # Any MinGW-w64 windres writes the same .res file.
  find_program(WINDRES NAMES x86_64-w64-mingw32-windres i686-w64-mingw32-windres REQUIRED)
endif()

function(program_resources target)
  foreach(rc ${ARGN})
    get_filename_component(abs ${rc} ABSOLUTE)
    if(WIN32)
      target_sources(${target} PRIVATE ${abs})
    else()
      get_filename_component(stem ${rc} NAME_WE)
      get_filename_component(dir ${abs} DIRECTORY)
      set(res ${CMAKE_CURRENT_BINARY_DIR}/rc/${target}_${stem}.res)
      set(out ${res}.cpp)
      file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/rc)
      # The preprocessor lists the included headers in a depfile; the
      # bitmaps, which windres reads itself, are those beside the script.
      file(GLOB bitmaps ${dir}/*.bmp)
      add_custom_command(
        OUTPUT ${out}
        COMMAND ${WINDRES} -O res -I ${CMAKE_SOURCE_DIR} -i ${abs} -o ${res}
                --preprocessor-arg=-MMD --preprocessor-arg=-MF --preprocessor-arg=${out}.d
                --preprocessor-arg=-MT --preprocessor-arg=${out}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${res} -DOUTPUT=${out}
                -P ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
        DEPENDS ${abs} ${bitmaps} ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
        DEPFILE ${out}.d
        COMMENT "Compiling ${rc}")
      target_sources(${target} PRIVATE ${out})
    endif()
  endforeach()
endfunction()
