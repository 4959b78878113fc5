# Turns a .res file into a C++ source that hands its bytes to the host layer
# at start-up.   -DINPUT=file.res -DOUTPUT=out.cpp
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
get_filename_component(name ${INPUT} NAME)
file(WRITE ${OUTPUT} "// Generated from ${name}; do not edit.\n"
     "namespace wh { int RegisterResources(const unsigned char *data, unsigned long size); }\n"
     "static const unsigned char res[] = {${bytes}};\n"
     "static int registered = wh::RegisterResources(res, sizeof res);\n")
