// Base64 (standard alphabet, '=' padding) as the table dump stores binary fields.
#pragma once

#include <cstddef>
#include <string>

namespace tools {

// Allocates a buffer large enough for the bytes that `encoded` decodes to and stores its
// size in *capacity. Returns null (and *capacity 0) when the text is too long to be a
// sensible value (over 64 MiB) or memory runs out. Free it with DeleteBase64DecodingBuffer.
// REQUIRES: `capacity` is not null.
unsigned char* AllocateBase64DecodingBuffer(const std::string& encoded, size_t* capacity);

// Decodes `encoded` into `buffer` and stores the number of bytes in *decoded_size.
// The text must be canonical: a length that is a multiple of 4, only alphabet characters,
// at most two '=' and only at the end, and zero bits where padding cuts a byte short.
// Returns false (and *decoded_size 0) on a corrupt text, a null buffer or a buffer smaller
// than the decoded bytes. An empty text decodes to 0 bytes.
// REQUIRES: `decoded_size` is not null.
bool Base64Decode(const std::string& encoded, unsigned char* buffer, size_t capacity,
                  size_t* decoded_size);

// Frees a buffer from AllocateBase64DecodingBuffer and sets the pointer to null; a null
// pointer is left alone.
void DeleteBase64DecodingBuffer(unsigned char*& buffer);

// Encodes `size` bytes as canonical Base64 (the inverse of Base64Decode).
std::string Base64Encode(const unsigned char* data, size_t size);

}  // namespace tools
