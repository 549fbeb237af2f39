// SHA-1 digests of byte streams, for identifying files. Kept in the library itself: the
// system's cryptography library cost every program that loads this one several
// milliseconds of start-up for this one digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tools {

class Sha1 {
  public:
    Sha1();
    // Adds `size` bytes to the message.
    void Update(const unsigned char* data, size_t size);
    // The digest of everything added; the object is spent afterwards.
    std::array<unsigned char, 20> Finish();
    // The digest as 40 lower-case hex digits.
    static std::string Hex(const std::array<unsigned char, 20>& digest);

  private:
    void Compress(const unsigned char* block);

    uint32_t state_[5];
    unsigned char block_[64];
    size_t used_ = 0;      // bytes waiting in block_
    uint64_t length_ = 0;  // message bytes so far
};

}  // namespace tools
