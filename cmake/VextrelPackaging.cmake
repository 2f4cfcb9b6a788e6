# Packages made by `cpack` in the build folder:
#   Linux:   libvextrel1_<version>_<arch>.deb (runtime: the shared library, the license),
#            libvextrel-dev_<version>_<arch>.deb (headers, CMake package, pkg-config file, docs),
#            vextrel-<version>-Linux.tar.gz (everything);
#   Windows: vextrel-<version>-win64.zip (DLL, both import libraries, .def, headers, license, docs).
if(NOT VEXTREL_INSTALL OR NOT PROJECT_IS_TOP_LEVEL)
    return()
endif()

set(CPACK_PACKAGE_NAME vextrel)
set(CPACK_PACKAGE_VENDOR "Vextrel")
set(CPACK_PACKAGE_CONTACT "Vextrel maintainers <vextrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME win64)
else()
    set(CPACK_GENERATOR DEB TGZ)
    # The archive holds everything; the Debian packages are one per component.
    set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION libs)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvextrel${PROJECT_VERSION_MAJOR})
    set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvextrel-dev)
    set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
    # The run-time dependencies (libc, libstdc++) are read from the library by dpkg-shlibdeps.
    find_program(VEXTREL_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(VEXTREL_DPKG_SHLIBDEPS)
        set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
    else()
        set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6, libstdc++6")
    endif()
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()

include(CPack)
