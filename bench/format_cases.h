// The formatter's cases: a mix of real trace messages, and each message formatted by vsnprintf or
// by the library's own formatter, with or without the counter reading of a trace call.
#pragma once

#include <cstdint>

namespace vextrel::bench {

// Names of the mean cases, shared with the report.
constexpr const char* kFloorMixCase = "floor, mix (counter + vsnprintf)";
constexpr const char* kFormatterMixCase = "counter + FormatMessageText, mix";
constexpr const char* kVsnprintfMessageCase = "vsnprintf alone, bench message";
constexpr const char* kFormatterMessageCase = "FormatMessageText alone, bench message";
constexpr const char* kVsnprintfMixCase = "vsnprintf alone, mix";
constexpr const char* kFormatterMixOnlyCase = "FormatMessageText alone, mix";

// Counter reading plus vsnprintf of mix message number `sequence` (of eight) into 512 bytes.
void FloorMixCall(uint32_t sequence);

// Counter reading plus FormatMessageText of the same message: what an accepted call formats.
void FormatterMixCall(uint32_t sequence);

// vsnprintf alone, then FormatMessageText alone, of the bench message.
void VsnprintfMessageCall(uint32_t sequence);
void FormatterMessageCall(uint32_t sequence);

// vsnprintf alone, then FormatMessageText alone, of mix message number `sequence`.
void VsnprintfMixCall(uint32_t sequence);
void FormatterMixOnlyCall(uint32_t sequence);

}  // namespace vextrel::bench
