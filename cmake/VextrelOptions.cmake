# Build options. Tests, benchmarks, the demo host and the vextrel program are built by default only when Vextrel is the
# top-level project: a host that adds Vextrel with add_subdirectory or FetchContent builds the
# library and nothing else unless it asks for more.
option(VEXTREL_BUILD_TESTS "Build the GoogleTest suite and register it with ctest" ${PROJECT_IS_TOP_LEVEL})
option(VEXTREL_BUILD_BENCH "Build the benchmarks in bench/" ${PROJECT_IS_TOP_LEVEL})
option(VEXTREL_BUILD_EXAMPLES "Build the demo host in examples/" ${PROJECT_IS_TOP_LEVEL})
option(VEXTREL_BUILD_TOOLS "Build the vextrel program in tools/ (needs CLI11)" ${PROJECT_IS_TOP_LEVEL})
# Warnings stop the build only in Vextrel's own developer presets (CMakePresets.json turns this on):
# a newer compiler's new warning must never break a host's build of the library.
option(VEXTREL_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
option(VEXTREL_INSTALL "Generate install rules for the library, headers and CMake package" ON)

# Folders with their own switch; any other folder (fuzz/ has its own option inside) is always added.
set(VEXTREL_BUILD_FOLDER_bench ${VEXTREL_BUILD_BENCH})
set(VEXTREL_BUILD_FOLDER_examples ${VEXTREL_BUILD_EXAMPLES})
set(VEXTREL_BUILD_FOLDER_tools ${VEXTREL_BUILD_TOOLS})

# vextrel_add_warning_options()
# Adds the warning options to every target of this folder and below (never to a host's targets).
macro(vextrel_add_warning_options)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        add_compile_options(-Wall -Wextra -Wformat=2)
        if(VEXTREL_WARNINGS_AS_ERRORS)
            add_compile_options(-Werror)
        endif()
    endif()
endmacro()
