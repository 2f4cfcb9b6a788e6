# Windows: the DLL and the program keep their DWARF in <file>.debug beside them, and the file itself
# names it in its .gnu_debuglink section: debug-help (the library's stack traces, also under Wine)
# and gdb load it from the same folder. The DWARF is most of their size (the DLL 8.5 MB with it,
# under 1 MB without), and a DLL that size takes Wine's loader four times as long to load.
find_program(VEXTREL_OBJCOPY NAMES ${CMAKE_OBJCOPY} x86_64-w64-mingw32-objcopy REQUIRED)

# vextrel_split_debug_info(<target>)
# After each link, moves the target's debug information into <target file>.debug.
function(vextrel_split_debug_info target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${VEXTREL_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
        # --strip-debug, not --strip-all: debug-help matches the debug file against the symbol table.
        COMMAND ${VEXTREL_OBJCOPY} --strip-debug --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
                $<TARGET_FILE:${target}>
        COMMENT "Debug information of $<TARGET_FILE_NAME:${target}> into $<TARGET_FILE_NAME:${target}>.debug")
endfunction()

# vextrel_install_debug_info(<target>)
# Installs the target's debug file beside it (component debug).
function(vextrel_install_debug_info target)
    install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT debug)
endfunction()
