// The platform half of the crash host: a crash handler of the host's own.
#pragma once

namespace crash_host {

// Installs a handler of the host's own for access violations that writes "host handler ran" to
// standard error and lets the crash go on to the system's default.
void InstallOwnCrashHandler();

}  // namespace crash_host
