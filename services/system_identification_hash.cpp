// The SHA-1 hash of a file, streamed in pieces.
#include <cstdio>
#include <memory>

#include "port/files.h"
#include "services/sha1.h"
#include "services/system_identification.h"

namespace tools {
namespace {

constexpr size_t kReadPiece = 64 * 1024;

struct FileClose {
    void operator()(FILE* file) const { fclose(file); }
};

}  // namespace

bool HashFile(const std::string& file_name, std::string* hex_digest) {
    try {
        std::unique_ptr<FILE, FileClose> file(port_open_regular_file(file_name.c_str()));
        if (file == nullptr) return false;
        Sha1 sha;
        const std::unique_ptr<unsigned char[]> piece(new unsigned char[kReadPiece]);
        for (;;) {
            const size_t n = fread(piece.get(), 1, kReadPiece, file.get());
            sha.Update(piece.get(), n);
            if (n < kReadPiece) break;
        }
        // A short read is only the end when no error was flagged.
        if (ferror(file.get())) return false;
        *hex_digest = Sha1::Hex(sha.Finish());
        return true;
    } catch (...) {  // std::bad_alloc
        return false;
    }
}

}  // namespace tools
