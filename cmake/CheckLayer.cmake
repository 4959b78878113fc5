# cmake -DLAYER=NAME -DUSES="A|B" -DFILES="F|G" -DSTAMP=FILE -P CheckLayer.cmake
# Fails when a file of the layer includes a project header of a folder that
# is neither its own, nor a layer it uses, nor the platform seam.
string(REPLACE "|" ";" USES "${USES}")
string(REPLACE "|" ";" FILES "${FILES}")
set(allowed ${LAYER} ${USES} platform)
set(bad "")
foreach(file ${FILES})
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    if(NOT header MATCHES "/")
      continue()  # beside the file itself
    endif()
    string(REGEX REPLACE "/.*" "" folder "${header}")
    list(FIND allowed ${folder} found)
    if(found EQUAL -1)
      string(APPEND bad "\n  ${file}: #include \"${header}\"")
    endif()
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "The ${LAYER} layer may include only its own headers and those of "
                      "${allowed}:${bad}")
endif()
file(WRITE ${STAMP} "")
