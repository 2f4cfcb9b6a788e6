# Windows: the DLL and the program are installed without their DWARF, which is most of their size
# (the DLL 7.9 MB with it, well under 1 MB without). It goes to <file>.debug beside them (component
# debug, a zip of its own), and the stripped file names it in its .gnu_debuglink section: debug-help
# (the library's stack traces, also under Wine) and gdb load it from the same folder.
find_program(VEXTREL_OBJCOPY NAMES ${CMAKE_OBJCOPY} x86_64-w64-mingw32-objcopy REQUIRED)

# vextrel_install_stripped(<target> <file name> <component>)
# Makes stripped/<file name> and stripped/<file name>.debug in the build folder after each link,
# installs the first in place of the target's own file (component <component>; install(TARGETS)
# comes first) and the second beside it (component debug).
function(vextrel_install_stripped target name component)
    set(stripped ${PROJECT_BINARY_DIR}/stripped/${name})
    set(debug ${stripped}.debug)
    add_custom_command(OUTPUT ${stripped} ${debug}
        COMMAND ${VEXTREL_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${debug}
        # --strip-debug, not --strip-all: debug-help matches the debug file against the symbol table.
        COMMAND ${VEXTREL_OBJCOPY} --strip-debug --add-gnu-debuglink=${debug} $<TARGET_FILE:${target}> ${stripped}
        DEPENDS ${target}
        COMMENT "Debug information of ${name} into ${name}.debug")
    add_custom_target(${target}_stripped ALL DEPENDS ${stripped} ${debug})
    install(CODE "file(COPY_FILE \"${stripped}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${name}\")"
        COMPONENT ${component})
    install(FILES ${debug} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT debug)
endfunction()
