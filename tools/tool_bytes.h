// Byte and bit helpers and bounded copies into fixed character buffers.
#pragma once

#include <cstddef>

// Exchanges the `n` bytes at `a` and `b`. 1, or 0 when a pointer is null and n > 0.
// Overlapping ranges are exchanged chunk by chunk without undefined behaviour.
int tool_memswap(void* a, void* b, std::size_t n);
// Reverses the order of the first `n` bits (bit i is bit i % 8 of byte i / 8).
void tool_reversebits(std::size_t n, unsigned char* bytes);
// Prints the title (when given), then each of the first `n` bits as 0 or 1, then a line
// feed, to standard output.
void tool_printbits(const char* title, std::size_t n, const unsigned char* bytes);
// Copies `text` into `buffer` of `size` bytes, cut to size - 1 characters and always
// terminated (null text gives ""). 1, or 0 for a null buffer or size 0.
int tool_strlcpy(char* buffer, const char* text, std::size_t size);
// Appends as much of `text` as fits and always terminates within `size` bytes (an
// unterminated buffer is cut to size - 1 first). 1, or 0 for a null buffer or size 0.
int tool_strlcat(char* buffer, const char* text, std::size_t size);
int tool_isdigit(int c);  // 1 for '0'..'9'
