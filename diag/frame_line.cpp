#include "diag/frame_line.h"

#include <cstdio>
#include <cstring>

#include "diag/symbol_text.h"
#include "platform/stack.h"

namespace vextrel {
namespace {

uint64_t AddressValue(const void* address) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address)); }

}  // namespace

void FormatModuleFrameLine(uint64_t address, const char* moduleName, uint64_t moduleBase, char* line, size_t size) {
    if (line == nullptr || size == 0) return;
    // A line longer than the buffer is cut there by design.
    if (std::snprintf(line, size, "\t%016llX : - (%s @ %016llX)", static_cast<unsigned long long>(address),
                      moduleName != nullptr ? moduleName : "", static_cast<unsigned long long>(moduleBase)) < 0) {
        line[0] = '\0';
    }
}

void FormatSymbolFrameLine(uint64_t address, const char* symbolText, char* line, size_t size) {
    if (line == nullptr || size == 0) return;
    if (std::snprintf(line, size, "\t%016llX : %s", static_cast<unsigned long long>(address),
                      symbolText != nullptr ? symbolText : "") < 0) {
        line[0] = '\0';
    }
}

void FormatFrameLine(const void* address, char* line, size_t size, bool symbols) {
    if (symbols) {
        // As long as a whole line, so that a long name keeps its source location up to the line's cut.
        char symbolText[kFrameLineCapacity];
        SymbolizeAddress(address, symbolText, sizeof symbolText);
        if (std::strcmp(symbolText, kNoSymbolText) != 0) {
            FormatSymbolFrameLine(AddressValue(address), symbolText, line, size);
            return;
        }
    }
    char moduleName[kFrameModuleNameCapacity];
    uint64_t moduleBase = 0;
    platform::ModuleOfAddress(address, &moduleBase, moduleName, sizeof moduleName);
    FormatModuleFrameLine(AddressValue(address), moduleName, moduleBase, line, size);
}

void FormatFrameLineWithoutWaiting(const void* address, bool returnAddress, platform::SymbolDetails& scratch,
                                   char* line, size_t size) {
    char moduleName[kFrameModuleNameCapacity];
    uint64_t moduleBase = 0;
    platform::ModuleOfAddressWithoutWaiting(address, &moduleBase, moduleName, sizeof moduleName);
    const uint64_t where = AddressValue(address);
    const void* lookup = returnAddress ? static_cast<const char*>(address) - 1 : address;
    if (platform::LookUpSymbolWithoutWaiting(lookup, &scratch)) {
        char symbolText[kFrameLineCapacity];
        FormatSymbolText(scratch.symbolName, where - scratch.symbolAddress, moduleName, moduleBase, "", symbolText,
                         sizeof symbolText);
        FormatSymbolFrameLine(where, symbolText, line, size);
        return;
    }
    FormatModuleFrameLine(where, moduleName, moduleBase, line, size);
}

void ForEachFrameLine(void* const* frames, uint32_t count, bool symbols,
                      const std::function<void(const char* line)>& emit) {
    if (frames == nullptr) return;
    for (uint32_t index = 1; index < count && frames[index] != nullptr; ++index) {
        char line[kFrameLineCapacity] = {};
        FormatFrameLine(frames[index], line, sizeof line, symbols);
        emit(line);
    }
}

}  // namespace vextrel
