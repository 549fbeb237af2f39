// The SHA-1 hash of a file through the system's cryptography library, streamed in pieces.
#include <openssl/evp.h>

#include <cstdio>
#include <memory>

#include "port/files.h"
#include "services/system_identification.h"

namespace tools {
namespace {

constexpr size_t kReadPiece = 64 * 1024;

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct FileClose {
    void operator()(FILE* file) const { fclose(file); }
};

}  // namespace

bool HashFile(const std::string& file_name, std::string* hex_digest) {
    try {
        std::unique_ptr<FILE, FileClose> file(port_open_regular_file(file_name.c_str()));
        std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
        if (file == nullptr || context == nullptr ||
            EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1) {
            return false;
        }
        const std::unique_ptr<unsigned char[]> piece(new unsigned char[kReadPiece]);
        for (;;) {
            const size_t n = fread(piece.get(), 1, kReadPiece, file.get());
            if (n > 0 && EVP_DigestUpdate(context.get(), piece.get(), n) != 1) return false;
            if (n < kReadPiece) break;
        }
        // A short read is only the end when no error was flagged.
        if (ferror(file.get())) return false;
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return false;
        static const char kHex[] = "0123456789abcdef";
        std::string text(2 * length, '0');
        for (unsigned int i = 0; i < length; ++i) {
            text[2 * i] = kHex[digest[i] >> 4];
            text[2 * i + 1] = kHex[digest[i] & 0x0f];
        }
        hex_digest->swap(text);
        return true;
    } catch (...) {  // std::bad_alloc
        return false;
    }
}

}  // namespace tools
