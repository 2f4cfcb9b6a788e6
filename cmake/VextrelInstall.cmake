# Install rules: the shared library (component runtime), the public headers, the CMake package
# (find_package(Vextrel) -> Vextrel::vextrel) and the pkg-config file (component dev), the vextrel
# program (component tool), the license and the documents. On Windows the DLL and the program are
# built and installed stripped, each with its debug information beside it (component debug).
# `cmake --install <build> --prefix <folder>` installs every component.
if(NOT VEXTREL_INSTALL)
    return()
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VEXTREL_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vextrel)
# One Debian package per component; each has its own documents folder.
set(VEXTREL_RUNTIME_PACKAGE libvextrel${PROJECT_VERSION_MAJOR})
set(VEXTREL_DEV_PACKAGE libvextrel-dev)
set(VEXTREL_TOOL_PACKAGE vextrel)
set(VEXTREL_DEBIAN_REVISION 1)
# No mail address answers for the project; .invalid says so (a reserved top-level domain).
set(VEXTREL_PACKAGE_CONTACT "Vextrel maintainers <maintainers@vextrel.invalid>")

target_include_directories(vextrel INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS vextrel EXPORT VextrelTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
if(TARGET vextrel_tool)
    install(TARGETS vextrel_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
endif()
if(WIN32)
    vextrel_install_debug_info(vextrel)
    if(TARGET vextrel_tool)
        vextrel_install_debug_info(vextrel_tool)
    endif()
endif()

install(FILES
        ${PROJECT_SOURCE_DIR}/include/vextrel.h
        ${PROJECT_SOURCE_DIR}/include/vextrel_facilities.h
        ${VEXTREL_GENERATED_INCLUDE_DIR}/vextrel_version.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
if(WIN32)
    install(FILES ${VEXTREL_DEF_FILE} ${VEXTREL_MSVC_IMPORT_LIBRARY}
        DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
endif()

install(EXPORT VextrelTargets NAMESPACE Vextrel:: FILE VextrelTargets.cmake
    DESTINATION ${VEXTREL_CMAKE_PACKAGE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VextrelConfig.cmake.in
    ${PROJECT_BINARY_DIR}/generated/VextrelConfig.cmake
    INSTALL_DESTINATION ${VEXTREL_CMAKE_PACKAGE_DIR})
# Same major version, this version or newer: a host built for 1.2 takes 1.4 but not 2.0.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/generated/VextrelConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/generated/VextrelConfig.cmake
        ${PROJECT_BINARY_DIR}/generated/VextrelConfigVersion.cmake
    DESTINATION ${VEXTREL_CMAKE_PACKAGE_DIR} COMPONENT dev)

# vextrel.pc: relocatable, its prefix found from where the file lies.
file(RELATIVE_PATH VEXTREL_PC_TO_PREFIX
    /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vextrel.pc.in ${PROJECT_BINARY_DIR}/generated/vextrel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/generated/vextrel.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(WIN32)
    set(VEXTREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vextrel)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${VEXTREL_DOC_DIR} COMPONENT runtime)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${VEXTREL_DOC_DIR}/docs COMPONENT dev
        FILES_MATCHING PATTERN "*.md")
    return()
endif()
# Debian's layout: share/doc/<package>/ holds the package's copyright file and changelog, and the
# documents of the package that has them.
include(${CMAKE_CURRENT_LIST_DIR}/VextrelDebianDocs.cmake)
foreach(component runtime dev tool)
    string(TOUPPER ${component} upper)
    set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${VEXTREL_${upper}_PACKAGE})
    install(FILES ${VEXTREL_COPYRIGHT_FILE} ${VEXTREL_CHANGELOG_FILE} DESTINATION ${doc_dir} COMPONENT ${component})
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VEXTREL_DEV_PACKAGE}
    COMPONENT dev FILES_MATCHING PATTERN "*.md")
