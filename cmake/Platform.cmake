# The platform seam: on Windows the system libraries, elsewhere our own host
# implementation of the Win32 subset (platform/host).
if(WIN32)
  # COMCTL32's initialisation entry is imported by its export ordinal 17, as
  # the oldest common-controls libraries export it: a small import library
  # built from a .def file gives exactly that import.
  # The 32-bit name carries stdcall's decoration (@0), which x86-64 does not
  # use: the 64-bit build's .def is made from the same file without it.
  set(COMCTL32_ORD_LIB ${CMAKE_BINARY_DIR}/lib/libcomctl32_ord17.a)
  set(COMCTL32_DEF ${CMAKE_SOURCE_DIR}/platform/windows/comctl32.def)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(READ ${COMCTL32_DEF} def_text)
    string(REPLACE "InitCommonControls@0" "InitCommonControls" def_text "${def_text}")
    set(COMCTL32_DEF ${CMAKE_BINARY_DIR}/lib/comctl32.def)
    file(WRITE ${COMCTL32_DEF} "${def_text}")
    set(DLLTOOL_MACHINE i386:x86-64)
  else()
    set(DLLTOOL_MACHINE i386)
  endif()
  add_custom_command(
    OUTPUT ${COMCTL32_ORD_LIB}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/lib
    COMMAND ${CMAKE_DLLTOOL} -m ${DLLTOOL_MACHINE} -k -d ${COMCTL32_DEF}
            -l ${COMCTL32_ORD_LIB}
    DEPENDS ${CMAKE_SOURCE_DIR}/platform/windows/comctl32.def
    COMMENT "Import library for COMCTL32 ordinal 17")
  add_custom_target(comctl32_ord17 DEPENDS ${COMCTL32_ORD_LIB})

  # The system's import libraries, for the programs and for the layers of
  # code they link (which name them after themselves on the link line).
  add_library(win32_libraries INTERFACE)
  add_dependencies(win32_libraries comctl32_ord17)
  target_link_libraries(win32_libraries INTERFACE ${COMCTL32_ORD_LIB} ole32 uuid shell32 advapi32
                        user32 kernel32)

  function(link_platform target)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE win32_libraries)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
                        -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
                        -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
  endfunction()

  # The shipped programs and the code they share are built small: no C++
  # exceptions, RTTI or unwind tables (nothing throws, nothing asks a type),
  # every function in a section of its own so that the linker drops what no
  # one calls, and the printf family taken from msvcrt.dll itself rather than
  # the runtime's own printf with its floating-point formatting (the program
  # formats only strings). -fdata-sections is left out: on this target it
  # moves zero-initialised buffers from .bss into .data, into the file.
  set(SMALL_CODE_OPTIONS -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
      -ffunction-sections)
  # The shipped code is also optimised across its files at link time: the
  # layers are separate libraries, and calls between them (a record writer,
  # a path rule) are then inlined or dropped as within one file. It keeps
  # setup.exe well within its 64 KB.
  function(small_code target)
    set_property(TARGET ${target} PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
    target_compile_options(${target} PRIVATE ${SMALL_CODE_OPTIONS})
    target_compile_definitions(${target} PRIVATE __USE_MINGW_ANSI_STDIO=0)
  endfunction()
  # small_program(target): small code, unused sections dropped, and no base
  # relocations (an .exe is always loaded at its own base on Windows 4.0, so
  # they would only take room; the image then does not ask for a moving base).
  # The linker map lands beside the program, for a look at what went in.
  function(small_program target)
    small_code(${target})
    target_link_options(${target} PRIVATE -Wl,--gc-sections -Wl,--disable-dynamicbase
                        -Wl,--disable-reloc-section
                        -Wl,-Map,$<TARGET_FILE_DIR:${target}>/${target}.map)
  endfunction()
else()
  file(GLOB WINHOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/host/*.cpp)
  list(REMOVE_ITEM WINHOST_SOURCES ${CMAKE_SOURCE_DIR}/platform/host/main.cpp)
  # An object library: every part of the layer is in every program, also the
  # parts that only register start-up hooks (the registry seeds the machine
  # even in a program that never opens a key).
  add_library(winhost OBJECT ${WINHOST_SOURCES})
  target_include_directories(winhost PUBLIC ${CMAKE_SOURCE_DIR})
  add_library(winhost_main OBJECT ${CMAKE_SOURCE_DIR}/platform/host/main.cpp)
  target_include_directories(winhost_main PUBLIC ${CMAKE_SOURCE_DIR})

  function(link_platform target)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_link_libraries(${target} PRIVATE winhost_main winhost)
    else()
      target_link_libraries(${target} PUBLIC winhost)
    endif()
  endfunction()
  # The host build keeps its usual code.
  function(small_code target)
  endfunction()
  function(small_program target)
  endfunction()
endif()
