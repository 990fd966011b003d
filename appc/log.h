// The log stream of the console programs, and the byte renderings written to it.
//
// One process-wide buffered text stream. The program attaches it before its first trace and
// keeps it for the whole run; the library only writes to it and flushes it. A write or flush
// that fails (a full disk, a lost device) does not stop the program: the lines are lost, and
// the first failure after each attach is reported by one line on standard error,
// "Cannot write the log to NAME: REASON; further log lines may be lost".
//
// Blocks returned by hex_string, alloc_blanks and alloc_zeros are new heap blocks (release
// with std::free) owned by the caller. Heap exhaustion ends the process with a message on
// standard error and exit code 3 (heap_exhausted_exit_code, platform/heap.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "platform/heap.h"

// Until a stream is attached, the log stream is standard output. name: where the stream
// goes (the log's file name), for the failure line.
void log_attach(std::FILE* stream, const char* name = "standard output");
std::FILE* log_stream();

// printf-style line to the log stream; not flushed.
void log_write(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_flush();

// The current local time in asctime form, then an empty line; flushed.
void log_timestamp();
// "Www Mmm dd hh:mm:ss yyyy\n", terminated: English names, the day with a leading zero on
// every platform.
std::array<char, 26> asctime_text(const std::tm& time);

// Two lines: "%02X" per byte, then "%c " per byte (printable 0x20..0x7E, else '.').
void log_dump(const void* data, std::int32_t length);

// 2 x length upper-case hexadecimal digits, terminated.
char* hex_string(const void* data, std::int32_t length);

// n bytes of 0x20, unterminated.
char* alloc_blanks(std::size_t n);
// n bytes of 0x00.
char* alloc_zeros(std::size_t n);
