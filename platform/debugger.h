// Messages for a developer watching the process, outside the trace output.
#pragma once

namespace vextrel::platform {

// Writes the text to the debugger output (OutputDebugStringA on Windows, standard error on Linux).
void WriteDebuggerOutput(const char* text);

}  // namespace vextrel::platform
