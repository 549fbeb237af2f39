// Round trips of the table block through plain and gzip-compressed streams, and refusal of
// damaged blocks: truncated, altered, of another row length, with absurd counts, or noise.
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "outside/table_test_tables.h"

namespace table_store_test {
namespace {

class SerialiseTest : public StoreTest {
  protected:
    void insert_locks(dbv_tablestruct* table, int count, const std::string& prefix = "model") {
        for (int i = 0; i < count; ++i) {
            LockRow row = lock_row(numbered(prefix, i % 13), i, numbered("client", i), i * 3);
            ASSERT_EQ(0, dbv_insert(table, &row));
        }
    }
    std::vector<unsigned char> write_block(dbv_tablestruct* table) {
        FILE* f = std::tmpfile();
        EXPECT_NE(nullptr, f);
        EXPECT_EQ(0, dbv_writetable(f, table));
        const long size = std::ftell(f);
        std::vector<unsigned char> bytes(static_cast<size_t>(size));
        std::rewind(f);
        EXPECT_EQ(bytes.size(), std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
        return bytes;
    }
    // Reads `bytes` into `table`; also reports whether the stream stood at its end after.
    int read_block(const std::vector<unsigned char>& bytes, dbv_tablestruct* table,
                   bool* at_end = nullptr) {
        FILE* f = std::tmpfile();
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::rewind(f);
        const int result = dbv_readtable(f, table);
        if (at_end != nullptr) *at_end = std::fgetc(f) == EOF;
        std::fclose(f);
        return result;
    }
    std::vector<int32_t> lock_ids() {
        std::vector<int32_t> ids;
        dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
        LockRow row;
        while (dbv_fetch(cursor, &row) == 0) ids.push_back(row.object_id);
        dbv_closecursor(cursor);
        return ids;
    }
    // Fills lock_ with the three rows that every refusal must leave in place.
    void put_sentinels() {
        ASSERT_EQ(0, dbv_cleartable(lock_));
        for (int32_t id : {-1, -2, -3}) {
            LockRow row = lock_row("sentinel", id);
            ASSERT_EQ(0, dbv_insert(lock_, &row));
        }
    }
    void expect_sentinels(const std::string& what) {
        ASSERT_EQ((std::vector<int32_t>{-1, -2, -3}), lock_ids()) << what;
    }
};

TEST_F(SerialiseTest, RoundTripKeepsRowsOrderAndPosition) {
    insert_locks(lock_, 2000);
    for (int i = 0; i < 2000; i += 3) {  // holes make table order differ from slot order
        LockRow row = lock_row(numbered("model", i % 13), i);
        ASSERT_EQ(0, dbv_delete(lock_primary_, &row));
    }
    LockRow late = lock_row("late", 7);
    ASSERT_EQ(0, dbv_insert(lock_, &late));
    const std::vector<int32_t> before = lock_ids();

    FILE* f = std::tmpfile();
    ASSERT_EQ(0, dbv_writetable(f, lock_));
    std::fputs("TRAILER", f);
    ASSERT_EQ(0, dbv_writetable(f, drawings_));  // an empty table
    std::rewind(f);
    put_sentinels();
    DrawingLockRow stray = drawing_row("m", "d", "u", 1);
    ASSERT_EQ(0, dbv_insert(drawings_, &stray));
    ASSERT_EQ(0, dbv_readtable(f, lock_));
    char trailer[8] = {};
    ASSERT_EQ(7u, std::fread(trailer, 1, 7, f)) << "the stream stands just behind the block";
    EXPECT_STREQ("TRAILER", trailer);
    ASSERT_EQ(0, dbv_readtable(f, drawings_));
    EXPECT_EQ(EOF, std::fgetc(f));
    std::fclose(f);

    EXPECT_EQ(before, lock_ids());
    EXPECT_EQ(0, dbv_getrowcount(drawings_));
    LockRow probe = lock_row("model5", 5);
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_STREQ("client5", probe.client_name);
    EXPECT_EQ(15, probe.locked);
    EXPECT_NE(0, dbv_insert(lock_, &probe)) << "the index was rebuilt";
}

TEST_F(SerialiseTest, SecondaryIndexesAreRebuiltInOrder) {
    for (const char* user : {"x", "y", "z"}) {
        DrawingLockRow row = drawing_row("m", "d", user, 1);
        ASSERT_EQ(0, dbv_insert(drawings_, &row));
    }
    const std::vector<unsigned char> block = write_block(drawings_);
    ASSERT_EQ(0, dbv_cleartable(drawings_));
    ASSERT_EQ(0, read_block(block, drawings_));
    const DrawingLockRow key = drawing_row("m", "d", "", 0);
    dbv_cursorstruct* cursor =
        dbv_opencursor(dbd_getvirtualindexpointer(kDrawingLocks, "ModelDrawingName"), &key);
    std::string users;
    DrawingLockRow row;
    while (dbv_fetch(cursor, &row) == 0) users += row.UserName;
    dbv_closecursor(cursor);
    EXPECT_EQ("xyz", users);
}

TEST_F(SerialiseTest, ReadEndsCursorsOpenOnTheTable) {
    insert_locks(lock_, 3);
    const std::vector<unsigned char> block = write_block(lock_);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    ASSERT_EQ(0, read_block(block, lock_));
    EXPECT_NE(0, dbv_fetch(cursor, &row));
    EXPECT_NE(0, dbv_deletecurrent(cursor));
    dbv_closecursor(cursor);
    EXPECT_EQ(3, dbv_getrowcount(lock_));
}

TEST_F(SerialiseTest, EveryTruncationAndEveryBitFlipIsRefused) {
    dbv_tablestruct* source = dbd_getvirtualtablepointer(kObjectLock);
    (void)source;
    insert_locks(lock_, 2, "m");
    const std::vector<unsigned char> block = write_block(lock_);
    ASSERT_EQ(20u + 2 * 172 + 4, block.size());
    put_sentinels();
    for (size_t length = 0; length < block.size(); ++length) {
        const std::vector<unsigned char> cut(block.begin(),
                                             block.begin() + static_cast<long>(length));
        ASSERT_NE(0, read_block(cut, lock_)) << "truncated to " << length;
        expect_sentinels(numbered("truncated to ", length));
    }
    for (size_t at = 0; at < block.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<unsigned char> altered = block;
            altered[at] ^= static_cast<unsigned char>(1u << bit);
            ASSERT_NE(0, read_block(altered, lock_)) << "byte " << at << " bit " << bit;
        }
    }
    expect_sentinels("after flips");
    bool at_end = false;
    ASSERT_EQ(0, read_block(block, lock_, &at_end));
    EXPECT_TRUE(at_end);
    EXPECT_EQ((std::vector<int32_t>{0, 1}), lock_ids());
}

// Builds a block by hand so that its checksums are right and only the content is wrong.
std::vector<unsigned char> forge_block(uint32_t row_length, uint32_t row_count,
                                       const std::vector<unsigned char>& rows) {
    std::vector<unsigned char> block = {'Q', 'T', 'B', 'L'};
    auto put = [&block](uint32_t v) {
        for (int i = 0; i < 4; ++i) block.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    put(1);
    put(row_length);
    put(row_count);
    put(static_cast<uint32_t>(crc32(0, block.data(), 16)));
    block.insert(block.end(), rows.begin(), rows.end());
    put(static_cast<uint32_t>(crc32(0, block.data(), static_cast<uInt>(block.size()))));
    return block;
}

TEST_F(SerialiseTest, WellFormedButUnacceptableBlocksAreRefused) {
    put_sentinels();
    // Another table's row length, though every checksum is right.
    const std::vector<unsigned char> other = write_block(drawings_);
    EXPECT_NE(0, read_block(other, lock_));
    EXPECT_NE(0, read_block(forge_block(171, 0, {}), lock_));
    // A header claiming 2^31 - 1 rows with nothing behind it, and one claiming 2^31.
    EXPECT_NE(0, read_block(forge_block(172, 0x7fffffff, {}), lock_));
    EXPECT_NE(0, read_block(forge_block(172, 0x80000000u, {}), lock_));
    // Two rows with the same primary key.
    LockRow twin = lock_row("twin", 1);
    std::vector<unsigned char> rows(reinterpret_cast<unsigned char*>(&twin),
                                    reinterpret_cast<unsigned char*>(&twin) + sizeof twin);
    rows.insert(rows.end(), rows.begin(), rows.end());
    EXPECT_NE(0, read_block(forge_block(172, 2, rows), lock_));
    // An unknown format version.
    std::vector<unsigned char> versioned = forge_block(172, 0, {});
    versioned[4] = 2;
    const uint32_t header_crc = static_cast<uint32_t>(crc32(0, versioned.data(), 16));
    for (int i = 0; i < 4; ++i)
        versioned[16 + i] = static_cast<unsigned char>(header_crc >> (8 * i));
    EXPECT_NE(0, read_block(versioned, lock_));
    expect_sentinels("forged blocks");
    // The forger itself is right: a sound forged block is accepted.
    const std::vector<unsigned char> one_row(rows.begin(), rows.begin() + sizeof twin);
    ASSERT_EQ(0, read_block(forge_block(172, 1, one_row), lock_));
    EXPECT_EQ((std::vector<int32_t>{1}), lock_ids());
}

TEST_F(SerialiseTest, RandomBytesAreRefused) {
    put_sentinels();
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        std::vector<unsigned char> noise(rng() % 600);
        for (auto& b : noise) b = static_cast<unsigned char>(rng());
        if (round % 2 == 0 && noise.size() >= 4) std::memcpy(noise.data(), "QTBL", 4);
        ASSERT_NE(0, read_block(noise, lock_)) << "round " << round;
    }
    expect_sentinels("noise");
    EXPECT_NE(0, dbv_readtable(nullptr, lock_));
    EXPECT_NE(0, dbv_writetable(nullptr, lock_));
    FILE* f = std::tmpfile();
    EXPECT_NE(0, dbv_readtable(f, nullptr));
    EXPECT_NE(0, dbv_writetable(f, nullptr));
    std::fclose(f);
}

// A FILE* that compresses into, or decompresses from, a gzip file: a stream that cannot seek.
FILE* open_gzip(const char* path, const char* mode) {
    gzFile gz = gzopen(path, mode);
    if (gz == nullptr) return nullptr;
    cookie_io_functions_t io{};
    io.read = [](void* c, char* buf, size_t size) -> ssize_t {
        return gzread(static_cast<gzFile>(c), buf, static_cast<unsigned>(size));
    };
    io.write = [](void* c, const char* buf, size_t size) -> ssize_t {
        return gzwrite(static_cast<gzFile>(c), buf, static_cast<unsigned>(size));
    };
    io.close = [](void* c) -> int { return gzclose(static_cast<gzFile>(c)) == Z_OK ? 0 : -1; };
    return fopencookie(gz, mode[0] == 'r' ? "r" : "w", io);
}

TEST_F(SerialiseTest, RoundTripThroughACompressedStream) {
    insert_locks(lock_, 5000);
    const std::vector<int32_t> before = lock_ids();
    char path[] = "/tmp/table_store_gz_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);

    FILE* out = open_gzip(path, "wb");
    ASSERT_NE(nullptr, out);
    ASSERT_EQ(0, dbv_writetable(out, lock_));
    ASSERT_EQ(0, dbv_writetable(out, drawings_));
    ASSERT_EQ(0, std::fclose(out));

    ASSERT_EQ(0, dbv_cleartable(lock_));
    DrawingLockRow stray = drawing_row("m", "d", "u", 1);
    ASSERT_EQ(0, dbv_insert(drawings_, &stray));
    FILE* in = open_gzip(path, "rb");
    ASSERT_NE(nullptr, in);
    ASSERT_EQ(0, dbv_readtable(in, lock_));
    ASSERT_EQ(0, dbv_readtable(in, drawings_));
    EXPECT_EQ(EOF, std::fgetc(in));
    std::fclose(in);
    std::remove(path);
    EXPECT_EQ(before, lock_ids());
    EXPECT_EQ(0, dbv_getrowcount(drawings_));
}

}  // namespace
}  // namespace table_store_test
