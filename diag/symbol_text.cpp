#include "diag/symbol_text.h"

#include <cstdio>
#include <mutex>

#include "platform/bounded_text.h"
#include "platform/stack.h"

namespace vextrel {
namespace {

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// The working buffers of one symbol description, about 7 KB: they stay off the caller's stack (a
// host's real-time thread may have a small one) and are shared under their lock, as the symbol
// library itself is.
struct SymbolScratch {
    platform::SymbolDetails facts;
    char source[kSourceTextCapacity] = {};
    char moduleName[1024] = {};
    char description[kSymbolTextCapacity] = {};
};

std::mutex g_scratchLock;
SymbolScratch g_scratch;

}  // namespace

void FormatSourceText(const char* file, uint32_t line, char* text, size_t size) {
    if (text == nullptr || size == 0) return;
    // Texts longer than the buffer are cut there by design.
    if (std::snprintf(text, size, " at %s:%u", OrEmpty(file), static_cast<unsigned>(line)) < 0) text[0] = '\0';
}

void FormatSymbolText(const char* symbolName, uint64_t offset, const char* moduleName, uint64_t moduleBase,
                      const char* sourceText, char* text, size_t size) {
    if (text == nullptr || size == 0) return;
    if (std::snprintf(text, size, "%s + 0x%016llX (%s @ 0x%016llX) %s", OrEmpty(symbolName),
                      static_cast<unsigned long long>(offset), OrEmpty(moduleName),
                      static_cast<unsigned long long>(moduleBase), OrEmpty(sourceText)) < 0) {
        text[0] = '\0';
    }
}

void FormatNoSymbolText(uint64_t address, const char* moduleName, uint64_t moduleBase, const char* sourceText,
                        char* text, size_t size) {
    if (text == nullptr || size == 0) return;
    if (std::snprintf(text, size, "<No Symbol> 0x%016llX (%s @ 0x%016llX) %s", static_cast<unsigned long long>(address),
                      OrEmpty(moduleName), static_cast<unsigned long long>(moduleBase), OrEmpty(sourceText)) < 0) {
        text[0] = '\0';
    }
}

void SymbolizeAddress(const void* address, char* text, size_t size) {
    std::lock_guard<std::mutex> guard(g_scratchLock);
    auto& [facts, source, moduleName, description] = g_scratch;
    facts = platform::SymbolDetails{};
    if (!platform::LookUpSymbol(address, &facts)) {
        CopyTruncated(text, size, kNoSymbolText);
        return;
    }
    source[0] = '\0';
    if (facts.hasSourceLine) FormatSourceText(facts.sourceFile, facts.sourceLine, source, sizeof source);

    uint64_t moduleBase = 0;
    platform::ModuleOfAddress(address, &moduleBase, moduleName, sizeof moduleName);

    const uint64_t where = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address));
    if (facts.hasSymbol) {
        FormatSymbolText(facts.symbolName, where - facts.symbolAddress, moduleName, moduleBase, source, description,
                         sizeof description);
    } else {
        FormatNoSymbolText(where, moduleName, moduleBase, source, description, sizeof description);
    }
    CopyTruncated(text, size, description);
}

}  // namespace vextrel
