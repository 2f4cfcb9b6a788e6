# Install rules: the shared library (component runtime), the public headers, the CMake package
# (find_package(Vextrel) -> Vextrel::vextrel) and the pkg-config file (component dev), the license
# and the documentation. `cmake --install <build> --prefix <folder>` installs both components.
if(NOT VEXTREL_INSTALL)
    return()
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VEXTREL_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vextrel)
set(VEXTREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vextrel)

target_include_directories(vextrel INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS vextrel EXPORT VextrelTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
if(TARGET vextrel_tool)
    install(TARGETS vextrel_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
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

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${VEXTREL_DOC_DIR} COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${VEXTREL_DOC_DIR}/docs COMPONENT dev
    FILES_MATCHING PATTERN "*.md")
