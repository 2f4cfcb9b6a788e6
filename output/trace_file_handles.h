// The native handles of the open trace files, kept where a crashing process reads them without a
// lock and without allocating.
#pragma once

#include <cstdint>
#include <cstdio>

namespace vextrel {

// The most trace files whose handles are kept at once (one per configuration the library keeps);
// further files are not remembered.
constexpr uint32_t kTraceFileHandleCapacity = 4096;

// Remembers the native handle of an open trace file's stream; nothing for a null stream or when
// every slot is taken.
void RememberTraceFileHandle(std::FILE* stream);

// Forgets the stream's handle; called before the stream is closed.
void ForgetTraceFileHandle(std::FILE* stream);

// Copies the handles of the open trace files into `handles`, at most `capacity`; their count.
uint32_t TraceFileHandles(intptr_t* handles, uint32_t capacity);

}  // namespace vextrel
