// Runs a program as a child process, for the end-to-end tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vextrel::testing {

// Runs `program` with `arguments` in `workingFolder`, with its standard output and error captured
// into `output`; returns its exit code, or -1 when it could not be started.
int RunProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& workingFolder,
               std::string* output);

// The full path of the calling process's executable ("" when unknown).
std::string ExecutablePath();

// The calling process's resident memory in bytes (0 when it cannot be read).
uint64_t ResidentBytes();

// Ends the process through quick_exit (its handlers run, no destructor does); where the C runtime
// has no quick_exit (MinGW's), through _Exit.
[[noreturn]] void QuickExit(int code);

// A handle of the calling thread for PauseIfInside, valid while the thread runs.
uintptr_t CurrentThreadForPauses();

// Stops the thread for a moment; when it was stopped inside the code of the module that holds
// `codeInModule`, keeps it stopped for `milliseconds` before it goes on and returns true.
bool PauseIfInside(uintptr_t thread, const void* codeInModule, uint32_t milliseconds);

// Makes a named pipe at `path` and opens its reading end without waiting for a writer; -1 where
// the system has no pipes by path name (Windows) or on failure.
int OpenPipeAtPath(const std::string& path);

// Reads the pipe until no writer holds it open any more, then closes it.
std::string ReadPipeToEnd(int pipe);

}  // namespace vextrel::testing
