// Strict Base64 decoding (and the matching encoder) for binary fields of the table dump.
#include "outside/base64.h"

#include <cstdint>
#include <new>

namespace tools {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// A binary field of a dump line is small; anything near this is not a value.
constexpr size_t kMaxEncodedLength = size_t{64} << 20;

int value_of(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

unsigned char* AllocateBase64DecodingBuffer(const std::string& encoded, size_t* capacity) {
    *capacity = 0;
    if (encoded.size() > kMaxEncodedLength) return nullptr;
    // Room for a length that is not a multiple of 4 too; Base64Decode refuses it later.
    const size_t size = (encoded.size() + 3) / 4 * 3;
    auto* buffer = new (std::nothrow) unsigned char[size > 0 ? size : 1];
    if (buffer != nullptr) *capacity = size;
    return buffer;
}

bool Base64Decode(const std::string& encoded, unsigned char* buffer, size_t capacity,
                  size_t* decoded_size) {
    *decoded_size = 0;
    const size_t length = encoded.size();
    if (buffer == nullptr || length % 4 != 0) return false;
    size_t padding = 0;
    if (length > 0 && encoded[length - 1] == '=') padding = encoded[length - 2] == '=' ? 2 : 1;
    const size_t needed = length / 4 * 3 - padding;
    if (needed > capacity) return false;

    size_t out = 0;
    for (size_t i = 0; i < length; i += 4) {
        const bool last = i + 4 == length;
        const size_t significant = last ? 4 - padding : 4;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            int v = 0;
            if (k < significant) {
                v = value_of(encoded[i + k]);
                if (v < 0) return false;  // a stray '=' in the middle lands here as well
            }
            group = (group << 6) | static_cast<uint32_t>(v);
        }
        // Bits below the last whole byte must be zero in a canonical text.
        if (padding == 1 && last && (group & 0xFFu) != 0) return false;
        if (padding == 2 && last && (group & 0xFFFFu) != 0) return false;
        buffer[out++] = static_cast<unsigned char>(group >> 16);
        if (significant > 2) buffer[out++] = static_cast<unsigned char>(group >> 8);
        if (significant > 3) buffer[out++] = static_cast<unsigned char>(group);
    }
    *decoded_size = out;
    return true;
}

void DeleteBase64DecodingBuffer(unsigned char*& buffer) {
    delete[] buffer;
    buffer = nullptr;
}

std::string Base64Encode(const unsigned char* data, size_t size) {
    std::string text;
    if (data == nullptr) return text;
    text.reserve((size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3) {
        const size_t left = size - i;
        uint32_t group = static_cast<uint32_t>(data[i]) << 16;
        if (left > 1) group |= static_cast<uint32_t>(data[i + 1]) << 8;
        if (left > 2) group |= data[i + 2];
        text.push_back(kAlphabet[(group >> 18) & 63]);
        text.push_back(kAlphabet[(group >> 12) & 63]);
        text.push_back(left > 1 ? kAlphabet[(group >> 6) & 63] : '=');
        text.push_back(left > 2 ? kAlphabet[group & 63] : '=');
    }
    return text;
}

}  // namespace tools
