#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "../process.h"

namespace vextrel::testing {

int RunProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& workingFolder,
               std::string* output) {
    const std::string capture = workingFolder + "\\.process-output";
    std::string commandLine = "\"" + program + "\"";
    for (const std::string& argument : arguments) commandLine += " \"" + argument + "\"";

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileA(capture.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return -1;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        workingFolder.c_str(), &startup, &process);
    CloseHandle(out);
    if (!started) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::ifstream in(capture, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (output != nullptr) *output = text.str();
    in.close();
    std::remove(capture.c_str());
    return static_cast<int>(code);
}

std::string ExecutablePath() {
    char path[2048];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

uint64_t ResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

void QuickExit(int code) { std::_Exit(code); }

uintptr_t CurrentThreadForPauses() {
    return reinterpret_cast<uintptr_t>(
        OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, GetCurrentThreadId()));
}

bool PauseIfInside(uintptr_t thread, const void* codeInModule, uint32_t milliseconds) {
    const HANDLE handle = reinterpret_cast<HANDLE>(thread);
    if (handle == nullptr || SuspendThread(handle) == static_cast<DWORD>(-1)) return false;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    bool inside = false;
    MEMORY_BASIC_INFORMATION module{}, at{};
    if (GetThreadContext(handle, &context) && VirtualQuery(codeInModule, &module, sizeof module) != 0 &&
        VirtualQuery(reinterpret_cast<const void*>(context.Rip), &at, sizeof at) != 0) {
        inside = at.AllocationBase == module.AllocationBase;
    }
    if (inside) Sleep(milliseconds);
    ResumeThread(handle);
    return inside;
}

int OpenPipeAtPath(const std::string&) { return -1; }

std::string ReadPipeToEnd(int) { return ""; }

}  // namespace vextrel::testing
