# Cross-builds the Windows x86-64 target with MinGW-w64 (posix thread model, so std::thread and
# std::mutex exist) and runs its programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEXTREL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEXTREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXTREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXTREL_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VEXTREL_MINGW_PREFIX}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${VEXTREL_MINGW_PREFIX}-ranlib CACHE FILEPATH "Archive indexer")

# Headers and libraries come from the MinGW-w64 tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VEXTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# DWARF 4: Wine's dbghelp reads it (GCC 12 defaults to DWARF 5, which it does not), so stack traces
# of the Windows build resolve symbol names.
set(CMAKE_C_FLAGS_INIT "-g -gdwarf-4")
set(CMAKE_CXX_FLAGS_INIT "-g -gdwarf-4")

# Link the C and C++ run-times and winpthread statically: the DLL and the programs then import only
# Windows system DLLs (a missing libwinpthread-1.dll shows under Wine only as exit code 53).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Programs of this build (tests, test discovery) run under Wine, in a prefix of the build folder's own.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wine")
