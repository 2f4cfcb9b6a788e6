// The symbol description of a code address: its symbol, offset, module and source line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vextrel {

// The text for an address when the symbol library cannot be loaded.
constexpr const char* kNoSymbolText = "<No Symbol>";

// Room for one symbol description, terminator included.
constexpr size_t kSymbolTextCapacity = 2048;

// Room for the source part of a symbol description, terminator included.
constexpr size_t kSourceTextCapacity = 1024;

// Writes " at FILE:LINE", cut to `size` - 1 characters.
void FormatSourceText(const char* file, uint32_t line, char* text, size_t size);

// Writes "NAME + 0xOFFSET (MODULE @ 0xBASE) SOURCE" with OFFSET and BASE as 16 upper-case hexadecimal
// digits, cut to `size` - 1 characters; a null text counts as empty. SOURCE is empty or starts with " at".
void FormatSymbolText(const char* symbolName, uint64_t offset, const char* moduleName, uint64_t moduleBase,
                      const char* sourceText, char* text, size_t size);

// Writes "<No Symbol> 0xADDRESS (MODULE @ 0xBASE) SOURCE" for an address without a symbol, cut to
// `size` - 1 characters.
void FormatNoSymbolText(uint64_t address, const char* moduleName, uint64_t moduleBase, const char* sourceText,
                        char* text, size_t size);

// Writes the symbol description of `address` (one of the two forms above) into `text`, cut to
// `size` - 1 characters; exactly "<No Symbol>" when the symbol library cannot be loaded. Loads the
// symbol library on first use; may be called from several host threads at once, never from a
// writer thread.
void SymbolizeAddress(const void* address, char* text, size_t size);

}  // namespace vextrel
