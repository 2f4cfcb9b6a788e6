#include "core/stack_symbol_switch.h"

#include <atomic>

namespace vextrel {
namespace {

std::atomic<uint8_t> symbolSwitch{0};

}  // namespace

uint8_t StackTraceSymbolSwitch() { return symbolSwitch.load(std::memory_order_relaxed); }

void SetStackTraceSymbolSwitch(uint8_t enable) { symbolSwitch.store(enable, std::memory_order_relaxed); }

}  // namespace vextrel
