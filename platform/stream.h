// Writing to an open stream's file past the C library, for a trace file whose writing thread the
// system ended at process exit: the native handle, writing to it, dropping the stream's buffer,
// and what the file already ends with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vextrel::platform {

// The operating system's handle of an open stream (its descriptor, or its Win32 file handle), as
// an integer; -1 when there is none.
intptr_t NativeHandleOfStream(std::FILE* stream);

// Writes the text straight to the native handle, bypassing the C library's buffers and locks; each
// '\n' becomes the line end the stream's text mode writes ("\r\n" on Windows). Failures are ignored.
void WriteToNativeHandle(intptr_t handle, const char* text, size_t length);

// Empties the stream's output buffer without writing it and without taking the stream's lock. For
// a stream whose writing thread the system ended at process exit: that thread may have died holding
// the lock, with part of a line in the buffer.
void DiscardStreamBuffer(std::FILE* stream);

// How far back CompareFileEnd reads: a writer thread's block of lines (16 KiB), each of its line
// ends doubled, fits.
constexpr size_t kFileEndCapacity = 32768;

// How many leading bytes of the text the file at `path` already ends with, each '\n' counted as the
// line end the stream's text mode writes: the longest such prefix (0 when the file cannot be read).
// Tells how much of a line or a block of lines a writer ended by the system got into the file.
size_t CompareFileEnd(const char* path, const char* text, size_t length);

}  // namespace vextrel::platform
