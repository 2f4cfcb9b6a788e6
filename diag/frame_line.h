// The lines of a stack trace: one line per return address, with the symbol description when symbol
// names are switched on, else the module and its base.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/stack.h"

namespace vextrel {

// How many return addresses a stack trace asks for (at most 62 are captured).
constexpr uint32_t kStackFrameCapacity = 100;

// Room for one frame line, terminator included: a line of at most 511 characters always fits one
// trace record and is never split.
constexpr size_t kFrameLineCapacity = 512;

// Room for the module name of a frame line without a symbol, terminator included.
constexpr size_t kFrameModuleNameCapacity = 256;

// Writes "\tADDRESS : - (MODULE @ BASE)" with ADDRESS and BASE as 16 upper-case hexadecimal digits,
// cut to `size` - 1 characters.
void FormatModuleFrameLine(uint64_t address, const char* moduleName, uint64_t moduleBase, char* line, size_t size);

// Writes "\tADDRESS : SYMBOLTEXT", cut to `size` - 1 characters.
void FormatSymbolFrameLine(uint64_t address, const char* symbolText, char* line, size_t size);

// Writes the frame line of `address`: the symbol form when `symbols` is set and the symbol library
// could be loaded, otherwise the module form.
void FormatFrameLine(const void* address, char* line, size_t size, bool symbols);

// Writes the frame line of `address` without waiting for a lock and without allocating, for a
// crashing process: the symbol form when the symbol is known at once, else the module form. A
// return address is looked up one byte earlier, so that a call that never returns shows its
// caller rather than the function that follows. `scratch` holds the lookup.
void FormatFrameLineWithoutWaiting(const void* address, bool returnAddress, platform::SymbolDetails& scratch,
                                   char* line, size_t size);

// Calls `emit` with the frame line of `frames[1]`, `frames[2]`, ... up to `frames[count - 1]`,
// stopping at the first null entry. Entry 0, the location inside the capture itself, is never shown.
void ForEachFrameLine(void* const* frames, uint32_t count, bool symbols,
                      const std::function<void(const char* line)>& emit);

}  // namespace vextrel
