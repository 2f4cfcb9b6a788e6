# Writes include/vextrel_facilities.h from the library's built-in facility list
# (core/builtin_facilities.cpp), so that hosts name facilities instead of writing numbers:
#   cmake -P cmake/generate-facility-header.cmake
# The unit test FacilityHeader checks that the header and the library's list agree.
get_filename_component(root ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
file(STRINGS ${root}/core/builtin_facilities.cpp rows REGEX "^ *\\{\"VXF_[A-Z0-9_]+\", [0-9]+\\},")

set(defines "")
set(list "")
foreach(row IN LISTS rows)
    string(REGEX REPLACE "^ *\\{\"(VXF_[A-Z0-9_]+)\", ([0-9]+)\\},.*" "\\1;\\2" pair "${row}")
    list(GET pair 0 name)
    list(GET pair 1 id)
    string(LENGTH "${name}" length)
    math(EXPR pad "40 - ${length}")
    if(pad LESS 1)
        set(pad 1)
    endif()
    string(REPEAT " " ${pad} spaces)
    string(APPEND defines "#define ${name}${spaces}${id}u\n")
    string(APPEND list " \\\n    X(${name}, ${id})")
endforeach()
list(LENGTH rows count)

file(WRITE ${root}/include/vextrel_facilities.h
"/* Vextrel: the built-in facility ids and the priority levels, for building facility words.
 *
 * Generated from the library's built-in facility list by cmake/generate-facility-header.cmake; do
 * not edit. The library registers these ${count} names when its first configuration is created
 * (VXF_MIXER_METERS repeats the id of VXF_MIXER_METER and is refused). A host traces with
 * VXF_WORD(VXF_ENGINE_RENDER, VXP_HIGH), or passes an id alone to the facility functions.
 * Configuration files name the same facilities and priorities by these names. */
#ifndef VEXTREL_FACILITIES_H
#define VEXTREL_FACILITIES_H

#include \"vextrel.h\"

${defines}
/* Every built-in facility as X(name, id), in registration order: for hosts that build their own
 * name tables, e.g. #define ROW(name, id) {#name, id}, then VEXTREL_FOR_EACH_BUILTIN_FACILITY(ROW). */
#define VEXTREL_FOR_EACH_BUILTIN_FACILITY(X)${list}

/* Every named priority level as X(name, value), lowest first. */
#define VEXTREL_FOR_EACH_PRIORITY(X) \\
    X(VXP_LOWEST, 1) \\
    X(VXP_LOW, 2) \\
    X(VXP_NORMAL, 4) \\
    X(VXP_HIGH, 8) \\
    X(VXP_URGENT, 16)

#endif /* VEXTREL_FACILITIES_H */
")
message(STATUS "include/vextrel_facilities.h: ${count} facilities")
