// Tables in streams: plain and domain blocks written, skipped and read back, hostile blocks
// refused with the table unchanged, merging reads, and the not-a-number callback.
#include <zlib.h>

#include <cmath>
#include <limits>

#include "outside/domain_table_test_support.h"

namespace domain_table_test {
namespace {

using StreamTest = DomainTableTest;

// The ids of the lock rows of the whole table in work mode 5 (live, then history).
Ids all_ids(dbv_tablestruct* table) {
    const int32_t mode = dbv_inquireworkmode();
    dbv_setworkmode(DBV_WORKMODE_HISTORY);
    dbv_cursorstruct* cursor = dbv_opencursor_all(table);
    Ids ids;
    LockRow row;
    while (dbv_fetch(cursor, &row) == 0) ids.push_back(row.object_id);
    dbv_closecursor(cursor);
    dbv_setworkmode(mode);
    return ids;
}

// Puts the trailing CRC of an edited block right, so that only the checks behind the CRC
// can refuse it.
void fix_trailer(std::string& block) {
    const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(block.data()),
                            static_cast<uInt>(block.size() - 4));
    for (size_t i = 0; i < 4; ++i) {
        block[block.size() - 4 + i] = static_cast<char>(static_cast<uint32_t>(crc) >> (8 * i));
    }
}

class DomainStreamTest : public DomainTableTest {
  protected:
    void SetUp() override {
        DomainTableTest::SetUp();
        make_domain_table(3);
        ASSERT_EQ(0, erase(lock_row("m", 1)));  // live 0, 2; history 1
        ASSERT_EQ(0, dbv_createdomainheader(domain_, &header_));
    }
    void TearDown() override {
        dbv_deletedomainheader(header_);
        DomainTableTest::TearDown();
    }
    std::string block_of(dbv_tablestruct* table) {
        MemoryStream stream;
        EXPECT_EQ(0, dbv_writetable_domain(stream.out(), header_, table));
        return stream.bytes();
    }
    int read(std::string bytes, dbv_tablestruct* table) {
        FILE* in = reader(bytes);
        const int result = dbv_readtable_domain(in, header_, table);
        std::fclose(in);
        return result;
    }

    dbv_domainheader_s* header_ = nullptr;
};

TEST_F(StreamTest, TwoPlainTablesFirstSkippedSecondRead) {
    insert_locks(2);
    ASSERT_EQ(0, insert(table_store_test::drawing_row("m", "d", "u", 1)));
    MemoryStream stream;
    ASSERT_EQ(0, dbv_writetable(stream.out(), drawings_));
    ASSERT_EQ(0, dbv_writetable(stream.out(), lock_));
    std::string bytes = stream.bytes();
    ASSERT_EQ(0, dbv_cleartable(lock_));
    FILE* in = reader(bytes);
    ASSERT_EQ(0, dbv_skiptable(in));
    ASSERT_EQ(0, dbv_readtableinmode(in, lock_, 1));
    EXPECT_EQ(std::ftell(in), static_cast<long>(bytes.size()));
    std::fclose(in);
    EXPECT_EQ((Ids{0, 1}), lock_ids());
}

TEST_F(StreamTest, MergingPlainReadAddsRowsAllOrNothing) {
    insert_locks(2);
    MemoryStream stream;
    ASSERT_EQ(0, dbv_writetable(stream.out(), lock_));
    std::string bytes = stream.bytes();
    ASSERT_EQ(0, dbv_cleartable(lock_));
    ASSERT_EQ(0, insert(lock_row("m", 7)));
    FILE* in = reader(bytes);
    ASSERT_EQ(0, dbv_readtableinmode(in, lock_, 2));
    std::fclose(in);
    EXPECT_EQ((Ids{7, 0, 1}), lock_ids());
    in = reader(bytes);
    EXPECT_NE(0, dbv_readtableinmode(in, lock_, 2));  // keys taken now
    std::fclose(in);
    EXPECT_EQ((Ids{7, 0, 1}), lock_ids());
    in = reader(bytes);
    EXPECT_NE(0, dbv_readtableinmode(in, lock_, 3));
    std::fclose(in);
    ASSERT_EQ(0, dbv_converttable_domain(lock_, domain_, nullptr, nullptr, nullptr));
    in = reader(bytes);
    EXPECT_NE(0, dbv_readtableinmode(in, lock_, 1));  // a domain table
    std::fclose(in);
}

TEST_F(DomainStreamTest, TwoTablesWithDomainHeaderFirstSkippedSecondRead) {
    MemoryStream stream;
    ASSERT_EQ(0, dbv_writetable(stream.out(), drawings_));
    ASSERT_EQ(0, dbv_writetable_domain(stream.out(), header_, lock_));
    ASSERT_EQ(0, dbv_writetable_domain(stream.out(), header_, lock_));
    std::string bytes = stream.bytes();
    const std::vector<Seen> before = [&] {
        dbv_setworkmode(DBV_WORKMODE_HISTORY);
        return scan();
    }();
    ASSERT_EQ(0, dbv_cleartable(lock_));
    ASSERT_EQ(0, insert(lock_row("m", 8)));
    FILE* in = reader(bytes);
    ASSERT_EQ(0, dbv_skiptable(in));
    ASSERT_EQ(0, dbv_skiptable_domain(in, header_));
    ASSERT_EQ(0, dbv_readtable_domain(in, header_, lock_));
    EXPECT_EQ(std::ftell(in), static_cast<long>(bytes.size()));
    std::fclose(in);
    EXPECT_EQ(before, scan());  // the same rows with the same time ids, history included
    EXPECT_EQ((Ids{0, 2, 1}), all_ids(lock_));
}

TEST_F(DomainStreamTest, EveryTruncationAndEveryBitFlipIsRefused) {
    const std::string block = block_of(lock_);
    const Ids before = all_ids(lock_);
    for (size_t length = 0; length < block.size(); ++length) {
        ASSERT_NE(0, read(block.substr(0, length), lock_)) << length;
        std::string part = block.substr(0, length);
        FILE* in = reader(part);
        ASSERT_NE(0, dbv_skiptable_domain(in, header_)) << length;
        std::fclose(in);
    }
    for (size_t bit = 0; bit < block.size() * 8; ++bit) {
        std::string flipped = block;
        flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
        ASSERT_NE(0, read(flipped, lock_)) << bit;
    }
    EXPECT_EQ(before, all_ids(lock_));
    ASSERT_EQ(0, read(block, lock_));
    EXPECT_EQ(before, all_ids(lock_));
}

TEST_F(DomainStreamTest, BlockOfAnotherDomainOrTableIsRefused) {
    const std::string block = block_of(lock_);
    dbv_domain_s* other = nullptr;
    ASSERT_EQ(0, dbv_createdomain(&other));
    dbv_domainheader_s* other_header = nullptr;
    ASSERT_EQ(0, dbv_createdomainheader(other, &other_header));
    std::string bytes = block;
    FILE* in = reader(bytes);
    EXPECT_NE(0, dbv_skiptable_domain(in, other_header));
    std::fclose(in);
    in = reader(bytes);
    EXPECT_NE(0, dbv_readtable_domain(in, other_header, lock_));  // table of another domain
    std::fclose(in);
    EXPECT_NE(0, read(block, drawings_));  // a plain table
    MemoryStream out;
    EXPECT_NE(0, dbv_writetable_domain(out.out(), other_header, lock_));
    EXPECT_NE(0, dbv_writetable_domain(out.out(), header_, drawings_));
    EXPECT_EQ(0, dbv_deletedomainheader(other_header));
    EXPECT_NE(0, dbv_deletedomainheader(other_header));
    dbv_deletedomain(other);
    EXPECT_NE(0, dbv_createdomainheader(other, &other_header));
    EXPECT_NE(0, dbv_createdomainheader(domain_, nullptr));
}

TEST_F(DomainStreamTest, TimeIdsUnknownToTheDomainAreRefused) {
    std::string block = block_of(lock_);
    // The first live row's creation id follows its bytes; make it an id never handed out
    // and put both CRCs right, so that only the id check can refuse it.
    const size_t id_at = 36 + sizeof(LockRow);
    block[id_at + 3] = 0x70;
    fix_trailer(block);
    EXPECT_NE(0, read(block, lock_));
    EXPECT_EQ((Ids{0, 2, 1}), all_ids(lock_));
}

TEST_F(DomainStreamTest, MergeInChangeControlMode2) {
    const std::string base = block_of(lock_);  // mode 0: every row
    ASSERT_EQ(0, dbv_settabledomainchangecontrolmode(lock_, 2));
    dbv_setworkmode(DBV_WORKMODE_HISTORY);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    while (dbv_fetch(cursor, &row) == 0) ASSERT_EQ(0, dbv_resetchangecontrol(cursor, 3));
    dbv_closecursor(cursor);
    dbv_setworkmode(DBV_WORKMODE_LIVE);
    EXPECT_EQ(40u, block_of(lock_).size());  // nothing flagged: an empty increment

    ASSERT_EQ(0, insert(lock_row("m", 5)));
    const LockRow changed = lock_row("m", 0, "c", 42);
    ASSERT_EQ(0, dbv_update(lock_primary_, &changed));
    ASSERT_EQ(0, erase(lock_row("m", 2)));
    const std::string increment = block_of(lock_);

    ASSERT_EQ(0, dbv_settabledomainchangecontrolmode(lock_, 1));
    ASSERT_EQ(0, read(base, lock_));  // replaces: back to the saved state
    EXPECT_EQ((Ids{0, 2, 1}), all_ids(lock_));
    ASSERT_EQ(0, dbv_settabledomainchangecontrolmode(lock_, 2));
    ASSERT_EQ(0, read(increment, lock_));
    EXPECT_EQ((Ids{0, 5, 1, 2}), all_ids(lock_));
    row = lock_row("m", 0);
    ASSERT_EQ(0, dbv_select(lock_primary_, &row));
    EXPECT_EQ(42, row.locked);

    // A block that names one live key twice is refused as a whole.
    std::string twice = increment;
    const size_t record = sizeof(LockRow) + 12;
    twice.replace(36 + record, sizeof(LockRow), twice.substr(36, sizeof(LockRow)));
    fix_trailer(twice);
    EXPECT_NE(0, read(twice, lock_));
    EXPECT_EQ((Ids{0, 5, 1, 2}), all_ids(lock_));
}

struct Measures {
    int32_t id;
    float f;
    double d;
};
const dbd_columndef_t kMeasureColumns[] = {
    {"id", DBD_INT32, 0}, {"f", DBD_FLOAT, 0}, {"d", DBD_DOUBLE, 0}};
const dbd_indexdef_t kMeasureIndexes[] = {{"by_id", {"id"}, 1, 1}};
const dbd_tabledef_t kMeasureTable = {"measures", kMeasureColumns, 3, kMeasureIndexes, 1, "by_id"};

std::vector<std::pair<intptr_t, int32_t>> g_not_a_number;
int32_t count_not_a_number(dbv_tablestruct*, intptr_t context, int32_t column) {
    g_not_a_number.emplace_back(context, column);
    return 0;
}

TEST_F(StreamTest, NotANumberCallbackSeesEveryFloatAndDoubleNaN) {
    ASSERT_EQ(0, dbd_definevirtualtable(&kMeasureTable));
    ASSERT_EQ(0, dbd_createvirtualtable("measures", 5, 1, 1, 1));
    dbv_tablestruct* table = dbd_getvirtualtablepointer(5);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Measures rows[] = {{1, 1.0f, nan}, {2, static_cast<float>(nan), nan}, {3, 2.0f, 3.0}};
    for (const Measures& m : rows) ASSERT_EQ(0, dbv_insert(table, &m));
    MemoryStream stream;
    ASSERT_EQ(0, dbv_writetable(stream.out(), table));
    std::string bytes = stream.bytes();
    ASSERT_EQ(0, dbv_settablecolumnnotanumbercallback_ctx(table, count_not_a_number, 1));
    g_not_a_number.clear();
    FILE* in = reader(bytes);
    ASSERT_EQ(0, dbv_readtableinmode(in, table, 1));
    std::fclose(in);
    using Calls = std::vector<std::pair<intptr_t, int32_t>>;
    EXPECT_EQ((Calls{{1, 2}, {1, 1}, {1, 2}}), g_not_a_number);
    Measures back{2, 0, 0};
    ASSERT_EQ(0, dbv_select(dbd_getvirtualprimarypointer(5), &back));
    EXPECT_TRUE(std::isnan(back.f));  // the value is kept

    // A refused block calls nothing; without the callback nothing is called.
    g_not_a_number.clear();
    std::string cut = bytes.substr(0, bytes.size() - 1);
    in = reader(cut);
    EXPECT_NE(0, dbv_readtableinmode(in, table, 1));
    std::fclose(in);
    ASSERT_EQ(0, dbv_settablecolumnnotanumbercallback_ctx(table, nullptr, 0));
    in = reader(bytes);
    ASSERT_EQ(0, dbv_readtable(in, table));
    std::fclose(in);
    EXPECT_TRUE(g_not_a_number.empty());
}

}  // namespace
}  // namespace domain_table_test
