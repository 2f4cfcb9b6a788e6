#include <windows.h>

#include "tests/e2e/crash_host.h"

namespace {

LONG WINAPI OnHostException(EXCEPTION_POINTERS*) {
    const char text[] = "host handler ran\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, sizeof text - 1, &written, nullptr);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void crash_host::InstallOwnCrashHandler() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(OnHostException);
}
