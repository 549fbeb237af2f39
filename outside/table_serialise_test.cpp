// Round trips of the table block through plain and gzip-compressed streams, and refusal of
// damaged blocks: truncated, altered, of another row length, with absurd counts, or noise.
#include <unistd.h>
#include <zlib.h>

#include <random>

#include "outside/table_test_tables.h"

namespace table_store_test {
namespace {

using Bytes = std::vector<unsigned char>;

class SerialiseTest : public StoreTest {
  protected:
    Bytes write_block(dbv_tablestruct* table) {
        FILE* f = std::tmpfile();
        EXPECT_EQ(0, dbv_writetable(f, table));
        Bytes bytes(static_cast<size_t>(std::ftell(f)));
        std::rewind(f);
        EXPECT_EQ(bytes.size(), std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
        return bytes;
    }
    // Reads `bytes` into lock_; also reports whether the stream stood at its end after.
    int read_block(const Bytes& bytes, bool* at_end = nullptr) {
        FILE* f = std::tmpfile();
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::rewind(f);
        const int result = dbv_readtable(f, lock_);
        if (at_end != nullptr) *at_end = std::fgetc(f) == EOF;
        std::fclose(f);
        return result;
    }
    // Fills lock_ with the three rows that every refusal must leave in place.
    void put_sentinels() {
        ASSERT_EQ(0, dbv_cleartable(lock_));
        for (int32_t id : {-1, -2, -3}) ASSERT_EQ(0, insert(lock_row("sentinel", id)));
    }
    void insert_many_locks(int count) {
        for (int i = 0; i < count; ++i) {
            const LockRow row =
                lock_row(numbered("model", i % 13), i, numbered("client", i), i * 3);
            ASSERT_EQ(0, insert(row));
        }
    }
};

TEST_F(SerialiseTest, RoundTripKeepsRowsOrderIndexesAndPosition) {
    insert_many_locks(2000);
    for (int i = 0; i < 2000; i += 3)  // holes make table order differ from slot order
        ASSERT_EQ(0, erase(lock_row(numbered("model", i % 13), i)));
    ASSERT_EQ(0, insert(lock_row("late", 7)));
    const Ids before = lock_ids();
    insert_drawings("d", {"x", "y", "z"});

    FILE* f = std::tmpfile();
    ASSERT_EQ(0, dbv_writetable(f, lock_));
    std::fputs("TRAILER", f);
    ASSERT_EQ(0, dbv_writetable(f, drawings_));
    std::rewind(f);
    put_sentinels();
    ASSERT_EQ(0, dbv_cleartable(drawings_));
    insert_drawings("d", {"z", "stray"});
    ASSERT_EQ(0, dbv_readtable(f, lock_));
    char trailer[8] = {};
    ASSERT_EQ(7u, std::fread(trailer, 1, 7, f)) << "the stream stands just behind the block";
    EXPECT_STREQ("TRAILER", trailer);
    ASSERT_EQ(0, dbv_readtable(f, drawings_));
    EXPECT_EQ(EOF, std::fgetc(f));
    std::fclose(f);

    EXPECT_EQ(before, lock_ids());
    EXPECT_EQ((Names{"x", "y", "z"}), users_of("d")) << "secondary index rebuilt in order";
    LockRow probe = lock_row("model5", 5);
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_STREQ("client5", probe.client_name);
    EXPECT_EQ(15, probe.locked);
    EXPECT_NE(0, dbv_insert(lock_, &probe)) << "the primary index was rebuilt";
}

TEST_F(SerialiseTest, ReadEndsCursorsOpenOnTheTable) {
    insert_locks(3);
    const Bytes block = write_block(lock_);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    ASSERT_EQ(0, read_block(block));
    EXPECT_NE(0, dbv_fetch(cursor, &row));
    EXPECT_NE(0, dbv_deletecurrent(cursor));
    dbv_closecursor(cursor);
    EXPECT_EQ(3, dbv_getrowcount(lock_));
}

TEST_F(SerialiseTest, EveryTruncationAndEveryBitFlipIsRefused) {
    insert_locks(2);
    const Bytes block = write_block(lock_);
    ASSERT_EQ(20u + 2 * 172 + 4, block.size());
    put_sentinels();
    for (size_t length = 0; length < block.size(); ++length) {
        ASSERT_NE(0, read_block(Bytes(block.begin(), block.begin() + static_cast<long>(length))))
            << "truncated to " << length;
        ASSERT_EQ((Ids{-1, -2, -3}), lock_ids()) << "truncated to " << length;
    }
    for (size_t at = 0; at < block.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes altered = block;
            altered[at] ^= static_cast<unsigned char>(1u << bit);
            ASSERT_NE(0, read_block(altered)) << "byte " << at << " bit " << bit;
        }
    }
    ASSERT_EQ((Ids{-1, -2, -3}), lock_ids());
    bool at_end = false;
    ASSERT_EQ(0, read_block(block, &at_end));
    EXPECT_TRUE(at_end);
    EXPECT_EQ((Ids{0, 1}), lock_ids());
}

// Builds a block by hand so that its checksums are right and only the content is wrong.
Bytes forge_block(uint32_t row_length, uint32_t row_count, const Bytes& rows,
                  uint32_t version = 1) {
    Bytes block = {'Q', 'T', 'B', 'L'};
    auto put = [&block](uint32_t v) {
        for (int i = 0; i < 4; ++i) block.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    put(version);
    put(row_length);
    put(row_count);
    put(static_cast<uint32_t>(crc32(0, block.data(), 16)));
    block.insert(block.end(), rows.begin(), rows.end());
    put(static_cast<uint32_t>(crc32(0, block.data(), static_cast<uInt>(block.size()))));
    return block;
}

TEST_F(SerialiseTest, WellFormedButUnacceptableBlocksAreRefused) {
    put_sentinels();
    LockRow twin = lock_row("twin", 1);
    const Bytes one(reinterpret_cast<unsigned char*>(&twin),
                    reinterpret_cast<unsigned char*>(&twin) + sizeof twin);
    Bytes two = one;
    two.insert(two.end(), one.begin(), one.end());
    const std::pair<const char*, Bytes> cases[] = {
        {"another table's row length", write_block(drawings_)},
        {"row length 171", forge_block(171, 0, {})},
        {"2^31 - 1 rows, none present", forge_block(172, 0x7fffffff, {})},
        {"2^31 rows", forge_block(172, 0x80000000u, {})},
        {"a duplicate primary key", forge_block(172, 2, two)},
        {"format version 2", forge_block(172, 0, {}, 2)}};
    for (const auto& [what, block] : cases) {
        EXPECT_NE(0, read_block(block)) << what;
        ASSERT_EQ((Ids{-1, -2, -3}), lock_ids()) << what;
    }
    ASSERT_EQ(0, read_block(forge_block(172, 1, one))) << "the forger itself is right";
    EXPECT_EQ((Ids{1}), lock_ids());
}

TEST_F(SerialiseTest, RandomBytesAndNullArgumentsAreRefused) {
    put_sentinels();
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        Bytes noise(rng() % 600);
        for (auto& b : noise) b = static_cast<unsigned char>(rng());
        if (round % 2 == 0 && noise.size() >= 4) std::memcpy(noise.data(), "QTBL", 4);
        ASSERT_NE(0, read_block(noise)) << "round " << round;
    }
    EXPECT_EQ((Ids{-1, -2, -3}), lock_ids());
    EXPECT_NE(0, dbv_readtable(nullptr, lock_));
    EXPECT_NE(0, dbv_writetable(nullptr, lock_));
    FILE* f = std::tmpfile();
    EXPECT_NE(0, dbv_readtable(f, nullptr));
    EXPECT_NE(0, dbv_writetable(f, nullptr));
    std::fclose(f);
}

TEST_F(SerialiseTest, RoundTripThroughAStreamThatCannotSeek) {
    insert_many_locks(300);  // fits in the pipe's buffer
    const Ids before = lock_ids();
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    FILE* out = fdopen(fds[1], "w");
    FILE* in = fdopen(fds[0], "r");
    ASSERT_EQ(0, dbv_writetable(out, lock_));
    ASSERT_EQ(0, dbv_writetable(out, drawings_));  // an empty table
    ASSERT_EQ(0, std::fclose(out));
    ASSERT_EQ(0, dbv_cleartable(lock_));
    insert_drawings("d", {"stray"});
    ASSERT_EQ(0, dbv_readtable(in, lock_));
    ASSERT_EQ(0, dbv_readtable(in, drawings_));
    EXPECT_EQ(EOF, std::fgetc(in));
    std::fclose(in);
    EXPECT_EQ(before, lock_ids());
    EXPECT_EQ(0, dbv_getrowcount(drawings_));
}

}  // namespace
}  // namespace table_store_test
