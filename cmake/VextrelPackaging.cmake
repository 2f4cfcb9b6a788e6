# Packages made by `cpack` in the build folder:
#   Linux:   libvextrel1_<version>-1_<arch>.deb (component runtime: the shared library),
#            libvextrel-dev_<version>-1_<arch>.deb (dev: headers, CMake package, pkg-config file,
#            documents), vextrel_<version>-1_<arch>.deb (tool: the vextrel program), each with its
#            copyright file and changelog; vextrel-<version>-Linux.tar.gz (everything);
#   Windows: vextrel-<version>-win64.zip (the stripped DLL and program, both import libraries, .def,
#            headers, license, documents) and vextrel-<version>-win64-debug.zip (their .debug files,
#            to unpack into the same folder).
if(NOT VEXTREL_INSTALL OR NOT PROJECT_IS_TOP_LEVEL)
    return()
endif()

set(CPACK_PACKAGE_NAME vextrel)
set(CPACK_PACKAGE_VENDOR "Vextrel")
set(CPACK_PACKAGE_CONTACT "${VEXTREL_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL runtime dev)
if(TARGET vextrel_tool)
    list(APPEND CPACK_COMPONENTS_ALL tool)
endif()
set(CPACK_COMPONENT_DEV_DEPENDS runtime)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME win64)
    # Two zips: everything to run and build against, and the debug files.
    list(APPEND CPACK_COMPONENTS_ALL debug)
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
    foreach(component runtime dev tool)
        string(TOUPPER ${component} upper)
        set(CPACK_COMPONENT_${upper}_GROUP main)
    endforeach()
    set(CPACK_COMPONENT_DEBUG_GROUP debug)
    set(CPACK_ARCHIVE_MAIN_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
    set(CPACK_ARCHIVE_DEBUG_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64-debug)
else()
    set(CPACK_GENERATOR DEB TGZ)
    # The archive holds everything; the Debian packages are one per component.
    set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_RELEASE ${VEXTREL_DEBIAN_REVISION})
    set(CPACK_DEBIAN_PACKAGE_SECTION libs)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${VEXTREL_RUNTIME_PACKAGE})
    set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${VEXTREL_DEV_PACKAGE})
    set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
    # The program has a package of its own, so that a later libvextrel2 installs beside it.
    set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${VEXTREL_TOOL_PACKAGE})
    set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION devel)
    set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
    # The packages' long descriptions (CPack puts CPACK_PACKAGE_DESCRIPTION_SUMMARY before each, as
    # the synopsis line).
    set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Vextrel is a tracing library that a host application loads and calls from
all of its threads, real-time threads included: a trace call never blocks,
allocates or takes a lock. Plain-text .vextrel files beside the executable
say what is traced and where it goes.
.
This package holds the shared library.")
    set(CPACK_COMPONENT_DEV_DESCRIPTION "Vextrel is a tracing library that a host application loads and calls from
all of its threads, real-time threads included.
.
This package holds the headers, the CMake package, the pkg-config file and
the documents of the configuration language and the trace file format.")
    set(CPACK_COMPONENT_TOOL_DESCRIPTION "This package holds the vextrel program, which prints, merges,
filters and summarises the trace files that the Vextrel library writes,
follows the newest one as it grows, turns them into trace-event JSON for
timeline viewers, and checks .vextrel configuration files with the
library's own reader.")
    # The run-time dependencies (libc, libstdc++) are read from the binaries by dpkg-shlibdeps.
    find_program(VEXTREL_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(VEXTREL_DPKG_SHLIBDEPS)
        set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
        set(CPACK_DEBIAN_TOOL_PACKAGE_SHLIBDEPS ON)
    else()
        set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6, libstdc++6")
        set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libc6, libstdc++6")
    endif()
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    # dpkg runs ldconfig once after all packages are unpacked (CPack's postinst and postrm call it
    # too, which does no harm).
    file(WRITE ${PROJECT_BINARY_DIR}/generated/debian/triggers "activate-noawait ldconfig\n")
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/generated/debian/triggers)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    # The packages hold stripped binaries, as Debian's do.
    set(CPACK_STRIP_FILES ON)
endif()

include(CPack)
