// The reading state machine of one client connection, free of sockets: it says how many
// bytes it wants next and where they go, and turns each filled request into the next
// state. The message server feeds it whatever each read of a connection brought in (Feed),
// as the fuzz target and the unit tests do with a plain byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "wirelay/frame.h"

namespace wrl {

// Bytes of frames being received, shared by the readers of one server: each reader charges
// the block of the frame it is reading and gives it back when the frame is complete or
// dropped. A frame that would take `used` above `limit` stops its reader (kDrop).
struct ReceiveBudget {
    size_t used = 0;
    size_t limit = SIZE_MAX;
};

class FrameReader {
  public:
    enum class Step {
        kNeedMore,     // queue the next read (Wanted() bytes into Buffer())
        kMessage,      // a complete message: take it with TakeMessage; reading goes on
        kLastMessage,  // a complete identify with a wrong magic or version; read no more
        kDrop,         // bad frame (wrong magic or version outside identify, an oversized
                       // payload, or one the budget cannot take): remove the client,
                       // nothing to reply
        kNoMemory,     // the payload buffer could not be allocated
    };

    FrameReader() = default;
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;
    ~FrameReader();

    // Charges this reader's frame blocks to `budget` (null: no budget). REQUIRES: no frame
    // is being read; the budget outlives the reader.
    void SetBudget(ReceiveBudget* budget) { budget_ = budget; }

    // Where the next read goes and how long it is. Never 0 while reading goes on.
    uint8_t* Buffer() { return buffer_; }
    size_t Wanted() const { return wanted_; }

    // Called once Wanted() bytes have been written into Buffer().
    Step Advance();

    // After kMessage/kLastMessage (the reader already wants the next header): the decoded
    // header and the payload. The caller takes ownership of *block (a wrl_malloc allocation,
    // null when there is no payload); the payload starts at *payload inside it.
    void TakeMessage(FrameHeader* header, uint8_t** block, uint8_t** payload);

    // Discards a partly read frame and starts again at a header (or stops for good).
    void Reset();

    // True once reading has stopped (after kLastMessage or kDrop).
    bool Stopped() const { return state_ == State::kStopped; }

    // Feeds `size` bytes as if they had arrived on the connection, calling
    // `on_step(step, context)` for every step other than kNeedMore. Stops early and
    // returns the step when it is kDrop or kNoMemory, or when on_step returns false;
    // otherwise returns kNeedMore. Bytes after the reader stopped are ignored.
    template <typename OnStep>
    Step Feed(const uint8_t* data, size_t size, OnStep on_step);

  private:
    enum class State { kHeader, kBody, kStopped };

    void StartHeader();
    void FreeBlock();

    State state_ = State::kHeader;
    uint8_t prefix_[kHeaderSize] = {};  // the 24-byte prefix, and the names of empty frames
    uint8_t* buffer_ = prefix_;
    size_t wanted_ = kPrefixSize;
    size_t fed_ = 0;  // bytes of the current request already supplied by Feed
    FrameHeader header_;
    uint8_t* block_ = nullptr;  // names and payload of the frame being read
    size_t charged_ = 0;        // bytes of block_ charged to the budget
    ReceiveBudget* budget_ = nullptr;
};

template <typename OnStep>
FrameReader::Step FrameReader::Feed(const uint8_t* data, size_t size, OnStep on_step) {
    while (size > 0 && state_ != State::kStopped) {
        size_t take = wanted_ - fed_;
        if (take > size) take = size;
        std::memcpy(buffer_ + fed_, data, take);
        fed_ += take;
        data += take;
        size -= take;
        if (fed_ < wanted_) break;
        fed_ = 0;
        const Step step = Advance();
        if (step == Step::kNeedMore) continue;
        if (step == Step::kDrop || step == Step::kNoMemory) return step;
        if (!on_step(step)) return step;
    }
    return Step::kNeedMore;
}

}  // namespace wrl
