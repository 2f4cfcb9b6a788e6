# What the shared library carries besides its code: the Vextrel::vextrel alias, the version (soname
# on Linux, image version and version resource on Windows), the generated version header, and on
# Windows the module-definition file and the import library an MSVC-style linker takes.
add_library(Vextrel::vextrel ALIAS vextrel)

# vextrel_version.h: generated into the build folder; the library (session header text) and hosts
# include it.
set(VEXTREL_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/generated/include)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vextrel_version.h.in
    ${VEXTREL_GENERATED_INCLUDE_DIR}/vextrel_version.h @ONLY)
target_include_directories(vextrel_objects PUBLIC $<BUILD_INTERFACE:${VEXTREL_GENERATED_INCLUDE_DIR}>)
target_include_directories(vextrel_static PUBLIC $<BUILD_INTERFACE:${VEXTREL_GENERATED_INCLUDE_DIR}>)
# Also for the targets defined after this point that compile library sources themselves (fuzz/).
include_directories(${VEXTREL_GENERATED_INCLUDE_DIR})
target_include_directories(vextrel PRIVATE ${VEXTREL_GENERATED_INCLUDE_DIR}
    INTERFACE $<BUILD_INTERFACE:${VEXTREL_GENERATED_INCLUDE_DIR}>)

if(NOT WIN32)
    # libvextrel.so -> libvextrel.so.1 (the soname) -> libvextrel.so.1.0.0.
    set_target_properties(vextrel PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
    return()
endif()

# The image version of the DLL (major.minor) and its version resource.
set_target_properties(vextrel PROPERTIES VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
enable_language(RC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vextrel.rc.in ${PROJECT_BINARY_DIR}/generated/vextrel.rc @ONLY)
target_sources(vextrel PRIVATE ${PROJECT_BINARY_DIR}/generated/vextrel.rc)

# vextrel.def, written by the linker from the DLL's real export table, so it lists exactly what the
# DLL exports; from it llvm-dlltool makes vextrel.lib, an import library for MSVC-style linkers.
set(VEXTREL_DEF_FILE ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/vextrel.def)
set(VEXTREL_MSVC_IMPORT_LIBRARY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/vextrel.lib)
target_link_options(vextrel PRIVATE -Wl,--output-def,${VEXTREL_DEF_FILE})
find_program(VEXTREL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14)
if(VEXTREL_LLVM_DLLTOOL)
    add_custom_command(TARGET vextrel POST_BUILD
        COMMAND ${VEXTREL_LLVM_DLLTOOL} -m i386:x86-64 -D vextrel.dll -d ${VEXTREL_DEF_FILE}
                -l ${VEXTREL_MSVC_IMPORT_LIBRARY}
        BYPRODUCTS ${VEXTREL_MSVC_IMPORT_LIBRARY}
        COMMENT "Import library for MSVC-style linkers: vextrel.lib")
else()
    message(STATUS "llvm-dlltool not found (Debian package llvm): vextrel.lib is not made")
    unset(VEXTREL_MSVC_IMPORT_LIBRARY)
endif()
