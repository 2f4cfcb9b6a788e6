// The lines of a memory dump: a label, the address of the line's first byte and up to 32 bytes in
// hexadecimal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vextrel {

// Room for one dump line, terminator included.
constexpr size_t kMemoryDumpLineCapacity = 1024;

// Bytes shown on one full dump line.
constexpr uint32_t kMemoryDumpBytesPerLine = 32;

// The longest label shown: the label, " 0x", 16 address digits, ":" and 32 byte groups of three
// characters fill the 1023 characters of a line exactly. Longer labels are shortened to this, so the
// address and every byte stay visible.
constexpr size_t kMemoryDumpLabelLimit = kMemoryDumpLineCapacity - 1 - (3 + 16 + 1) - 3 * kMemoryDumpBytesPerLine;

// Writes "LABEL 0xADDRESS:" followed by " XX" for each of the first min(count, 32) bytes, with
// ADDRESS as 16 and each byte as 2 upper-case hexadecimal digits. A null label counts as empty.
void FormatMemoryDumpLine(const char* label, uint64_t address, const uint8_t* bytes, uint32_t count,
                          char (&line)[kMemoryDumpLineCapacity]);

// Writes "LABEL: (null)", the line for a dump of a null block, with the label shortened the same way.
void FormatNullMemoryDumpLine(const char* label, char (&line)[kMemoryDumpLineCapacity]);

// Calls `emit` with every line of a dump of `length` bytes at `data`, in ascending address order:
// one line per 32 bytes and one for the rest; the single null line when `data` is null; nothing
// when `length` is 0.
void ForEachMemoryDumpLine(const char* label, const void* data, uint32_t length,
                           const std::function<void(const char* line)>& emit);

}  // namespace vextrel
