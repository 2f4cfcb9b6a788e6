// The process-wide switch that decides whether stack-trace lines carry symbol names.
#pragma once

#include <cstdint>

namespace vextrel {

// The switch byte as last set by VextrelEnableStackTraceSymbols (0, off, until then); any non-zero
// value means on.
uint8_t StackTraceSymbolSwitch();

// Sets the switch byte; any non-zero value turns symbol names on.
void SetStackTraceSymbolSwitch(uint8_t enable);

}  // namespace vextrel
