// Query records, the conversion tables (also as a host of the other byte order would run
// them) and the frame parser fed from plain byte buffers.
#include "wirelay/query.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "wirelay/query_convert.h"
#include "wirelay/query_test_support.h"
#include "wirelay/query_wire.h"
#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

namespace {

using query_test::MakeIdentify;
using query_test::MakeRow;
using query_test::Row;
using wrl::ByteOrder;
using bytes = std::vector<uint8_t>;

constexpr ByteOrder kOther =
    std::endian::native == std::endian::big ? ByteOrder::kLittle : ByteOrder::kBig;

// Converts with the tables; the result as a vector (empty with the code on failure).
int Convert(ByteOrder host, bool to_wire, uint32_t type, const void* data, uint32_t length,
            bytes* out, uint32_t table = query_test::kTableNumber) {
    uint8_t* o = nullptr;
    uint32_t n = 0;
    const int rc = wrl::ConvertItemData(host, to_wire, type, table,
                                        static_cast<const uint8_t*>(data), length, &o, &n);
    out->clear();
    if (rc == WRL_OK) {
        out->assign(o, o + n);
        wrl_free(o);
    }
    return rc;
}

template <typename T>
bytes Bytes(const T& value) {
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    return bytes(p, p + sizeof value);
}

template <typename T>
void Swap(T* value) {
    auto* p = reinterpret_cast<uint8_t*>(value);
    for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(p[i], p[sizeof(T) - 1 - i]);
}

// The row as a host of the other byte order holds it in memory.
Row OtherOrder(Row r) {
    Swap(&r.id);
    Swap(&r.weight);
    Swap(&r.size);
    Swap(&r.count);
    return r;
}

class QueryRecordTest : public query_test::QueryTableTest {};

TEST(QueryTypeNameTest, NamesTheSixNamedTypes) {
    const char* expected[] = {"select",   "insert",  "update",  "delete", "user query",
                              "identify", "unknown", "unknown", "unknown"};
    for (uint32_t t = 0; t < 9; ++t) EXPECT_STREQ(wrl_query_typename(t), expected[t]) << t;
    EXPECT_STREQ(wrl_query_typename(0xffffffffu), "unknown");
}

TEST_F(QueryRecordTest, ShorthandsCopyOneRowEachAndIterateInOrder) {
    wrl_query* q = nullptr;
    ASSERT_EQ(wrl_query_create(&q), WRL_OK);
    EXPECT_EQ(q->magic, WRL_QUERY_MAGIC);
    EXPECT_EQ(q->version, 18u);
    EXPECT_EQ(q->kind, 0u);
    int (*add[])(wrl_query*, uint32_t, const void*) = {wrl_query_addselect, wrl_query_addinsert,
                                                       wrl_query_addupdate, wrl_query_adddelete,
                                                       wrl_query_adduserquery};
    for (int i = 0; i < 5; ++i) {
        const Row r = MakeRow(i);
        ASSERT_EQ(add[i](q, query_test::kTableNumber, &r), WRL_OK);
    }
    EXPECT_EQ(q->count, 5u);
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < 5; ++i) {
            uint32_t type = 99, table = 0, length = 0;
            const void* data = nullptr;
            ASSERT_EQ(wrl_query_nextitem(q, &type, &table, &data, &length), WRL_OK);
            EXPECT_EQ(type, i);
            EXPECT_EQ(table, query_test::kTableNumber);
            ASSERT_EQ(length, sizeof(Row));
            EXPECT_EQ(std::memcmp(data, &static_cast<const Row&>(MakeRow(int(i))), sizeof(Row)), 0);
        }
        EXPECT_EQ(wrl_query_nextitem(q, nullptr, nullptr, nullptr, nullptr), WRL_EFAIL);
        EXPECT_EQ(wrl_query_nextitem(q, nullptr, nullptr, nullptr, nullptr), WRL_EFAIL);
        wrl_query_rewind(q);
    }
    wrl_query_clear(q);
    EXPECT_EQ(q->count, 0u);
    EXPECT_EQ(wrl_query_nextitem(q, nullptr, nullptr, nullptr, nullptr), WRL_EFAIL);
    wrl_query_free(q);
}

TEST_F(QueryRecordTest, AddRefusesUnknownTablesAndTypesWithoutALength) {
    wrl_query* q = nullptr;
    ASSERT_EQ(wrl_query_create(&q), WRL_OK);
    const Row r = MakeRow(1);
    const wrl_identify id = MakeIdentify("x");
    const uint32_t words[3] = {1, 2, 3};
    EXPECT_EQ(wrl_query_addselect(q, 999, &r), WRL_EFAIL);
    EXPECT_EQ(wrl_query_additem(q, WRL_QUERY_BYTES, 0, &r), WRL_EFAIL);
    EXPECT_EQ(wrl_query_additem(q, 8, 0, &r), WRL_EFAIL);
    EXPECT_EQ(wrl_query_adddata(q, 8, 0, &r, 4), WRL_EFAIL);
    EXPECT_EQ(wrl_query_adddata(q, WRL_QUERY_BYTES, 0, nullptr, 4), WRL_EFAIL);
    EXPECT_EQ(q->count, 0u);
    EXPECT_EQ(wrl_query_additem(q, WRL_QUERY_IDENTIFY, 0, &id), WRL_OK);
    EXPECT_EQ(wrl_query_additem(q, WRL_QUERY_WORDS, 0, words), WRL_OK);
    EXPECT_EQ(wrl_query_adddata(q, WRL_QUERY_BYTES, 0, "abc", 3), WRL_OK);
    ASSERT_EQ(q->count, 3u);
    EXPECT_EQ(q->first->length, 56u);
    EXPECT_EQ(q->first->next->length, 12u);
    EXPECT_EQ(q->last->length, 3u);
    wrl_query_free(q);
}

TEST(QueryConvertTest, IdentifyTravelsAsFortyEightBytesWithLowBytesOfValuesTwoAndThree) {
    const wrl_identify id = MakeIdentify("0123456789abcdef0123456789abcdefXYZ");  // cut to 32
    bytes wire;
    ASSERT_EQ(Convert(wrl::HostByteOrder(), true, WRL_QUERY_IDENTIFY, &id, 56, &wire), WRL_OK);
    const bytes expected_head = {0x44, 0x33, 0x22, 0x11, 0xff, 0x42, 0, 0,
                                 0xef, 0xbe, 0xad, 0xde, 7,    0,    0, 0};
    ASSERT_EQ(wire.size(), 48u);
    EXPECT_EQ(bytes(wire.begin(), wire.begin() + 16), expected_head);
    EXPECT_EQ(std::string(wire.begin() + 16, wire.end()), "0123456789abcdef0123456789abcdef");
    bytes back;
    ASSERT_EQ(Convert(wrl::HostByteOrder(), false, WRL_QUERY_IDENTIFY, wire.data(), 48, &back),
              WRL_OK);
    ASSERT_EQ(back.size(), 56u);
    wrl_identify got;
    std::memcpy(&got, back.data(), sizeof got);
    EXPECT_EQ(got.value1, 0x11223344u);
    EXPECT_EQ(got.value2, 255u);
    EXPECT_EQ(got.value3, 0x42u);
    EXPECT_EQ(got.value4, 0xdeadbeefu);
    EXPECT_EQ(got.value5, 7u);
    EXPECT_STREQ(got.name, "0123456789abcdef0123456789abcdef");
    // The other byte order's host record gives the same wire bytes.
    wrl_identify other = id;
    Swap(&other.value1);
    Swap(&other.value2);
    Swap(&other.value3);
    Swap(&other.value4);
    Swap(&other.value5);
    bytes other_wire;
    ASSERT_EQ(Convert(kOther, true, WRL_QUERY_IDENTIFY, &other, 56, &other_wire), WRL_OK);
    EXPECT_EQ(other_wire, wire);
}

TEST(QueryConvertTest, WrongLengthsAndUnknownTypesAreRefused) {
    const bytes big(100, 0);
    struct Case {
        bool to_wire;
        uint32_t type;
        uint32_t length;
    };
    for (const Case& c : {Case{false, WRL_QUERY_IDENTIFY, 47}, Case{false, WRL_QUERY_IDENTIFY, 49},
                          Case{true, WRL_QUERY_IDENTIFY, 48}, Case{true, WRL_QUERY_IDENTIFY, 57},
                          Case{true, WRL_QUERY_WORDS, 11}, Case{false, WRL_QUERY_WORDS, 13},
                          Case{true, 8, 4}, Case{false, 255, 4}}) {
        bytes out;
        EXPECT_EQ(Convert(wrl::HostByteOrder(), c.to_wire, c.type, big.data(), c.length, &out),
                  WRL_EFAIL)
            << c.type << " " << c.length;
    }
    wrl_query_item item{};
    item.type = 9;
    void* out = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(wrl_convertdata_hton(&item, big.data(), 4, &out, &n), WRL_EFAIL);
    EXPECT_EQ(wrl_convertdata_ntoh(&item, big.data(), 4, &out, &n), WRL_EFAIL);
    EXPECT_EQ(out, nullptr);
}

TEST(QueryConvertTest, WordsAreLittleEndianAndBytesAreCopied) {
    const uint32_t words[3] = {0x01020304, 0xa0b0c0d0, 5};
    bytes wire;
    ASSERT_EQ(Convert(wrl::HostByteOrder(), true, WRL_QUERY_WORDS, words, 12, &wire), WRL_OK);
    EXPECT_EQ(wire, (bytes{4, 3, 2, 1, 0xd0, 0xc0, 0xb0, 0xa0, 5, 0, 0, 0}));
    bytes other;
    ASSERT_EQ(Convert(kOther, false, WRL_QUERY_WORDS, wire.data(), 12, &other), WRL_OK);
    EXPECT_EQ(other, (bytes{1, 2, 3, 4, 0xa0, 0xb0, 0xc0, 0xd0, 0, 0, 0, 5}));
    bytes copied;
    ASSERT_EQ(Convert(kOther, true, WRL_QUERY_BYTES, "\x01\x02\x03", 3, &copied), WRL_OK);
    EXPECT_EQ(copied, (bytes{1, 2, 3}));
    ASSERT_EQ(Convert(kOther, true, WRL_QUERY_BYTES, nullptr, 0, &copied), WRL_OK);
    EXPECT_TRUE(copied.empty());
}

TEST_F(QueryRecordTest, RowsTakeExactlyTheRowLengthAndRefuseShorterItems) {
    const Row r = MakeRow(3);
    bytes longer = Bytes(r);
    longer.resize(sizeof(Row) + 9, 0xee);
    for (uint32_t type = 0; type <= WRL_QUERY_USER; ++type) {
        bytes out;
        EXPECT_EQ(Convert(ByteOrder::kLittle, true, type, &r, sizeof(Row) - 1, &out), WRL_EFAIL);
        EXPECT_EQ(Convert(ByteOrder::kLittle, false, type, &r, 0, &out), WRL_EFAIL);
        ASSERT_EQ(Convert(ByteOrder::kLittle, false, type, longer.data(),
                          static_cast<uint32_t>(longer.size()), &out),
                  WRL_OK);
        EXPECT_EQ(out, Bytes(r));
        EXPECT_EQ(Convert(ByteOrder::kLittle, true, type, &r, sizeof(Row), &out, 999), WRL_EFAIL);
    }
}

TEST_F(QueryRecordTest, RowsOfEitherByteOrderMeetInTheSameWireBytes) {
    const Row little = MakeRow(5);
    const Row big = OtherOrder(little);
    const bool native_little = std::endian::native == std::endian::little;
    const Row& native = native_little ? little : big;
    const Row& foreign = native_little ? big : little;
    bytes from_native, from_foreign, back;
    ASSERT_EQ(Convert(wrl::HostByteOrder(), true, WRL_QUERY_INSERT, &native, 40, &from_native),
              WRL_OK);
    ASSERT_EQ(Convert(kOther, true, WRL_QUERY_INSERT, &foreign, 40, &from_foreign), WRL_OK);
    EXPECT_EQ(from_native, from_foreign);
    EXPECT_EQ(from_native, Bytes(little));  // the wire is the little-endian layout
    ASSERT_EQ(Convert(kOther, false, WRL_QUERY_INSERT, from_native.data(), 40, &back), WRL_OK);
    EXPECT_EQ(back, Bytes(foreign));
    EXPECT_EQ(std::string(reinterpret_cast<const Row*>(back.data())->name), "row 5");
}

TEST_F(QueryRecordTest, WholeQueryConversionStopsAtTheFirstFailure) {
    wrl_query* q = nullptr;
    ASSERT_EQ(wrl_query_create(&q), WRL_OK);
    const uint32_t words[3] = {1, 2, 3};
    ASSERT_EQ(wrl_query_additem(q, WRL_QUERY_WORDS, 0, words), WRL_OK);
    ASSERT_EQ(wrl_query_adddata(q, WRL_QUERY_IDENTIFY, 0, "short", 5), WRL_OK);
    ASSERT_EQ(wrl_query_additem(q, WRL_QUERY_WORDS, 0, words), WRL_OK);
    EXPECT_EQ(wrl::ConvertQuery(q, kOther, true), WRL_EFAIL);
    EXPECT_EQ(bytes(q->first->data, q->first->data + 12),
              (bytes{0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3}));
    EXPECT_EQ(q->first->next->length, 5u);
    EXPECT_EQ(std::memcmp(q->last->data, words, 12), 0);
    wrl_query_free(q);
}

// ---- the frame parser --------------------------------------------------------------------

bytes Header(uint32_t kind, uint32_t status, uint32_t count) {
    wrl_query q{};
    q.kind = kind;
    q.status = status;
    q.count = count;
    q.word1 = 0x0a0b0c0d;
    q.word2 = 2;
    q.word3 = 3;
    bytes b(WRL_QUERY_HEADER_SIZE);
    wrl::EncodeQueryHeader(q, b.data());
    return b;
}

void AddItem(bytes* b, uint32_t table, uint32_t type, const bytes& data) {
    wrl_query_item item{};
    item.table = table;
    item.type = type;
    item.length = static_cast<uint32_t>(data.size());
    uint8_t head[WRL_QUERY_ITEM_HEADER_SIZE];
    wrl::EncodeItemHeader(item, head);
    b->insert(b->end(), head, head + sizeof head);
    b->insert(b->end(), data.begin(), data.end());
}

TEST(QueryParserTest, EmptyQueryIsTheTwentyFourByteHeaderAlone) {
    const bytes b = Header(0, 0, 0);
    EXPECT_EQ(b, (bytes{'d',  't',  18,   0,    0, 0, 0, 0, 0, 0, 0, 0,
                        0x0d, 0x0c, 0x0b, 0x0a, 2, 0, 0, 0, 3, 0, 0, 0}));
    wrl::QueryParser p;
    EXPECT_EQ(p.Need(), 24u);
    EXPECT_EQ(p.Feed(b.data(), b.size()), 24u);
    ASSERT_TRUE(p.Complete());
    wrl_query* q = p.Take();
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->magic, WRL_QUERY_MAGIC);
    EXPECT_EQ(q->count, 0u);
    EXPECT_EQ(q->word1, 0x0a0b0c0du);
    wrl_query_free(q);
}

TEST(QueryParserTest, MismatchStatusesCarryNoItemsWhateverTheCount) {
    for (uint32_t status : {12u, 13u}) {
        bytes b = Header(1, status, 3);
        b.push_back('!');  // belongs to whatever follows
        wrl::QueryParser p;
        EXPECT_EQ(p.Feed(b.data(), b.size()), 24u);
        ASSERT_TRUE(p.Complete());
        wrl_query* q = p.Take();
        EXPECT_EQ(q->status, status);
        EXPECT_EQ(q->count, 0u);
        EXPECT_EQ(q->first, nullptr);
        wrl_query_free(q);
    }
}

TEST(QueryParserTest, ByteByByteEqualsAllAtOnceAndNeedNeverOvershoots) {
    bytes b = Header(0, 0, 3);
    AddItem(&b, 7, WRL_QUERY_BYTES, bytes(300, 0x5a));
    AddItem(&b, 8, WRL_QUERY_WORDS, bytes(12, 1));
    AddItem(&b, 9, WRL_QUERY_BYTES, {});
    const size_t total = b.size();
    b.insert(b.end(), {'n', 'e', 'x', 't'});
    wrl::QueryParser whole;
    EXPECT_EQ(whole.Feed(b.data(), b.size()), total);
    wrl::QueryParser single;
    size_t at = 0;
    while (!single.Complete()) {
        ASSERT_LE(single.Need(), total - at);  // asking for Need() never reads past the query
        ASSERT_EQ(single.Feed(&b[at], 1), 1u);
        ++at;
    }
    EXPECT_EQ(at, total);
    wrl_query* a = whole.Take();
    wrl_query* c = single.Take();
    ASSERT_EQ(a->count, 3u);
    ASSERT_EQ(c->count, 3u);
    for (wrl_query_item *x = a->first, *y = c->first; x != nullptr; x = x->next, y = y->next) {
        EXPECT_EQ(x->table, y->table);
        EXPECT_EQ(x->type, y->type);
        ASSERT_EQ(x->length, y->length);
        EXPECT_EQ(std::memcmp(x->data, y->data, x->length), 0);
        EXPECT_NE(x->data, nullptr);
    }
    wrl_query_free(a);
    wrl_query_free(c);
}

TEST(QueryParserTest, AHugeAnnouncedItemHoldsOnlyWhatArrived) {
    bytes b = Header(0, 0, 0xffffffffu);
    AddItem(&b, 1, WRL_QUERY_BYTES, {});
    b.resize(b.size() - 4);
    for (int i = 0; i < 4; ++i) b.push_back(0xff);  // an item length of 4 GiB - 1
    b.insert(b.end(), 10000, 0x33);
    unsigned long mallocs0 = 0, frees0 = 0, mallocs1 = 0, frees1 = 0;
    wrl_mallocstats_get(&mallocs0, &frees0);
    {
        wrl::QueryParser p;
        EXPECT_EQ(p.Feed(b.data(), b.size()), b.size());
        EXPECT_EQ(p.Error(), WRL_OK);
        EXPECT_FALSE(p.Complete());
        EXPECT_GE(p.ItemCapacity(), 10000u);
        EXPECT_LE(p.ItemCapacity(), 2 * 10000u);
        EXPECT_EQ(p.Need(), 0xffffffffull - 10000 + 9ull * (0xffffffffull - 1));
    }
    wrl_mallocstats_get(&mallocs1, &frees1);
    EXPECT_EQ(mallocs1 - mallocs0, frees1 - frees0);  // a parser given up frees all it made
}

}  // namespace
