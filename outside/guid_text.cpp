// The text form of a guid: 36 characters, the bytes as hex pairs in the order of a
// little-endian GUID's fields (3 2 1 0 - 5 4 - 7 6 - 8 9 - 10 ... 15). Parsing accepts
// exactly that shape (either case of hex digit) and nothing around it.
#include "outside/store_domain.h"
#include "outside/store_seams.h"

namespace {

// Byte of the guid written at each hex pair of the text, and where the dashes stand.
constexpr int kByteOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr bool kDashBefore[16] = {false, false, false, false, true,  false, true,  false,
                                  true,  false, true,  false, false, false, false, false};

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

int dbv_guidtostring(const dbv_guid_s* guid, char* buffer, size_t buffer_size) {
    if (store_seams::ShouldFail("dbv_guidtostring")) return 1;
    if (guid == nullptr || buffer == nullptr || buffer_size < kDbvGuidTextLength + 1) return 1;
    static constexpr char kDigits[] = "0123456789abcdef";
    char* out = buffer;
    for (int i = 0; i < 16; ++i) {
        if (kDashBefore[i]) *out++ = '-';
        const uint8_t byte = guid->bytes[kByteOrder[i]];
        *out++ = kDigits[byte >> 4];
        *out++ = kDigits[byte & 0x0f];
    }
    *out = '\0';
    return 0;
}

int dbv_parseguidstring(const char* text, dbv_guid_s* guid) {
    if (store_seams::ShouldFail("dbv_parseguidstring")) return 1;
    if (text == nullptr || guid == nullptr) return 1;
    // Measured up to one past the text form, so a long input is never read to its end.
    size_t length = 0;
    while (length <= kDbvGuidTextLength && text[length] != '\0') ++length;
    if (length != kDbvGuidTextLength) return 1;
    dbv_guid_s parsed;
    const char* in = text;
    for (int i = 0; i < 16; ++i) {
        if (kDashBefore[i] && *in++ != '-') return 1;
        const int high = hex_value(in[0]);
        const int low = hex_value(in[1]);
        if (high < 0 || low < 0) return 1;
        parsed.bytes[kByteOrder[i]] = static_cast<uint8_t>(high << 4 | low);
        in += 2;
    }
    *guid = parsed;
    return 0;
}
