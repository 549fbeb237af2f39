// Frame reading. Names and payload of a good frame arrive with one read into one block
// whose tail becomes the message's payload, so the payload is never copied on the way in.
#include "wirelay/message_server_reader.h"

#include "wirelay/wrl_alloc.h"

namespace wrl {

FrameReader::~FrameReader() {
    FreeBlock();
}

void FrameReader::FreeBlock() {
    if (block_ != nullptr) wrl_free(block_);
    block_ = nullptr;
    if (budget_ != nullptr) budget_->used -= charged_;
    charged_ = 0;
}

void FrameReader::StartHeader() {
    buffer_ = prefix_;
    wanted_ = kPrefixSize;
    fed_ = 0;
}

void FrameReader::Reset() {
    FreeBlock();
    if (state_ != State::kStopped) state_ = State::kHeader;
    StartHeader();
}

FrameReader::Step FrameReader::Advance() {
    switch (state_) {
        case State::kHeader: {
            header_ = FrameHeader{};
            DecodePrefix(prefix_, &header_);
            if (header_.magic != kFrameMagic || header_.version != kFrameVersion) {
                state_ = State::kStopped;
                if (header_.kind != kKindIdentify) return Step::kDrop;
                header_.length = 0;  // the identify is answered at once, with empty names
                return Step::kLastMessage;
            }
            if (header_.length > WRL_MAX_PAYLOAD) {
                state_ = State::kStopped;
                return Step::kDrop;
            }
            if (header_.length == 0) {
                buffer_ = prefix_ + kPrefixSize;
            } else {
                const size_t size = kNamesSize + header_.length;
                if (budget_ != nullptr && size > budget_->limit - budget_->used) {
                    state_ = State::kStopped;
                    return Step::kDrop;
                }
                block_ = static_cast<uint8_t*>(wrl_malloc(size));
                if (block_ == nullptr) {
                    StartHeader();
                    return Step::kNoMemory;
                }
                buffer_ = block_;
                if (budget_ != nullptr) budget_->used += size;
                charged_ = size;
            }
            wanted_ = kNamesSize + header_.length;
            state_ = State::kBody;
            return Step::kNeedMore;
        }
        case State::kBody:
            DecodeNames(buffer_, &header_);
            state_ = State::kHeader;
            StartHeader();
            return Step::kMessage;
        case State::kStopped:
            break;
    }
    return Step::kDrop;
}

void FrameReader::TakeMessage(FrameHeader* header, uint8_t** block, uint8_t** payload) {
    *header = header_;
    *block = block_;
    *payload = block_ != nullptr ? block_ + kNamesSize : nullptr;
    block_ = nullptr;
    // The complete frame is the message's now; its reply counts against the backlog.
    if (budget_ != nullptr) budget_->used -= charged_;
    charged_ = 0;
}

}  // namespace wrl
