#include "diag/stack_symbol_switch.h"

#include <atomic>

#include "include/vextrel.h"

namespace vextrel {
namespace {

std::atomic<uint8_t> symbolSwitch{0};

}  // namespace

uint8_t StackTraceSymbolSwitch() { return symbolSwitch.load(std::memory_order_relaxed); }

}  // namespace vextrel

extern "C" {

void VextrelEnableStackTraceSymbols(uint8_t enable) {
    vextrel::symbolSwitch.store(enable, std::memory_order_relaxed);
}

uint8_t VextrelEnabledStackTraceSymbols(void) { return vextrel::StackTraceSymbolSwitch(); }

}
