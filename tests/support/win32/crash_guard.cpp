// Makes every crash fail its test program on Windows. GoogleTest built with MinGW does not catch
// structured exceptions, and Wine's crash handling can end a crashed program with exit code 0; this
// filter reports the exception on standard error and terminates the process with a non-zero code
// before anything else sees the crash.
#include <windows.h>

#include <cstdint>

namespace {

constexpr UINT kCrashExitCode = 3;

// Writes "unhandled exception 0x........ at 0x................" without the C run-time, whose locks a
// crash may have left held.
void ReportException(const EXCEPTION_RECORD* record) {
    char text[96] = "test program: unhandled exception 0x";
    size_t length = sizeof("test program: unhandled exception 0x") - 1;
    const char* digits = "0123456789ABCDEF";
    const unsigned long long code = record != nullptr ? record->ExceptionCode : 0;
    for (int shift = 28; shift >= 0; shift -= 4) text[length++] = digits[(code >> shift) & 0xF];
    const char* at = " at 0x";
    while (*at != '\0') text[length++] = *at++;
    const unsigned long long address =
        record != nullptr ? static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(record->ExceptionAddress)) : 0;
    for (int shift = 60; shift >= 0; shift -= 4) text[length++] = digits[(address >> shift) & 0xF];
    text[length++] = '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
}

LONG WINAPI TerminateOnCrash(EXCEPTION_POINTERS* exception) {
    ReportException(exception != nullptr ? exception->ExceptionRecord : nullptr);
    TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Installed while the program's globals are constructed, before main and any test runs; it replaces
// the filter the MinGW start-up code installs.
const bool kCrashGuardInstalled = [] {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(TerminateOnCrash);
    return true;
}();

}  // namespace
