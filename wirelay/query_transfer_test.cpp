// Queries between two endpoints on loopback: every query type there and back (also through
// a peer playing the other byte order), the exact frame bytes, large items, mismatch
// headers, acknowledgements, and receives that fail without leaving anything allocated.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <thread>
#include <vector>

#include "wirelay/endpoint.h"
#include "wirelay/query.h"
#include "wirelay/query_convert.h"
#include "wirelay/query_test_support.h"
#include "wirelay/query_wire.h"
#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

namespace {

uint32_t Swapped(uint32_t v) {
    return __builtin_bswap32(v);
}

using query_test::MakeIdentify;
using query_test::MakeRow;
using query_test::Row;
using bytes = std::vector<uint8_t>;

constexpr wrl::ByteOrder kOther =
    std::endian::native == std::endian::big ? wrl::ByteOrder::kLittle : wrl::ByteOrder::kBig;

// A client endpoint connected to an accepted server endpoint on a free loopback port.
class QueryPairTest : public query_test::QueryTableTest {
  protected:
    void SetUp() override {
        QueryTableTest::SetUp();
        ASSERT_EQ(wrl_net_create(&listen_), WRL_OK);
        wrl_address a{1, "localhost", 0};
        ASSERT_EQ(wrl_net_listenat(listen_, &a), WRL_OK);
        ASSERT_EQ(wrl_net_armaccept(listen_, nullptr), WRL_OK);
        ASSERT_EQ(wrl_net_create(&client_), WRL_OK);
        const std::string address = "tcpip:127.0.0.1," + std::to_string(wrl_net_localport(listen_));
        ASSERT_EQ(wrl_net_connect(client_, address.c_str()), WRL_OK);
        int dir = -1;
        void* user = nullptr;
        ASSERT_EQ(wrl_net_wait(listen_, &dir, &user), WRL_OK);
        ASSERT_EQ(wrl_net_alloc(&server_), WRL_OK);
        ASSERT_EQ(wrl_net_accept(listen_, server_), WRL_OK);
    }
    void TearDown() override {
        wrl_net_free(server_);
        wrl_net_destroy(client_);
        wrl_net_destroy(listen_);
        QueryTableTest::TearDown();
    }

    // A query with one item of every type, in host form.
    wrl_query* EveryType() {
        wrl_query* q = nullptr;
        EXPECT_EQ(wrl_query_create(&q), WRL_OK);
        q->status = 4;
        q->word1 = 0xfeedface;
        q->word2 = 1;
        q->word3 = 0x80000000u;
        for (uint32_t t = 0; t <= WRL_QUERY_USER; ++t) {
            const Row r = MakeRow(static_cast<int32_t>(t));
            EXPECT_EQ(wrl_query_additem(q, t, query_test::kTableNumber, &r), WRL_OK);
        }
        const wrl_identify id = MakeIdentify("station");
        const uint32_t words[3] = {0x01020304, 0, 0xffffffff};
        EXPECT_EQ(wrl_query_additem(q, WRL_QUERY_IDENTIFY, 0, &id), WRL_OK);
        EXPECT_EQ(wrl_query_additem(q, WRL_QUERY_WORDS, 0, words), WRL_OK);
        EXPECT_EQ(wrl_query_adddata(q, WRL_QUERY_BYTES, 77, "raw\0bytes", 9), WRL_OK);
        return q;
    }

    // Raw bytes from the server side.
    bytes ServerRead(uint32_t n) {
        bytes b(n);
        EXPECT_EQ(wrl_net_read(server_, b.data(), n, 5000), WRL_OK);
        return b;
    }

    wrl_net* listen_ = nullptr;
    wrl_net* client_ = nullptr;
    wrl_net* server_ = nullptr;
};

// Value 2 of the identify item (0x1FF) travels as its low byte: it comes back as 255.
void ValueTwoAsItTravels(wrl_query* q) {
    for (wrl_query_item* i = q->first; i != nullptr; i = i->next) {
        if (i->type == WRL_QUERY_IDENTIFY) reinterpret_cast<wrl_identify*>(i->data)->value2 = 255;
    }
}

void ExpectSameItems(const wrl_query* a, const wrl_query* b) {
    ASSERT_EQ(a->count, b->count);
    const wrl_query_item* y = b->first;
    for (const wrl_query_item* x = a->first; x != nullptr; x = x->next, y = y->next) {
        ASSERT_NE(y, nullptr);
        EXPECT_EQ(x->type, y->type);
        EXPECT_EQ(x->table, y->table);
        ASSERT_EQ(x->length, y->length) << "type " << x->type;
        EXPECT_EQ(std::memcmp(x->data, y->data, x->length), 0) << "type " << x->type;
    }
    EXPECT_EQ(y, nullptr);
}

TEST_F(QueryPairTest, EveryTypeTravelsThereAndBackAndIsAcknowledged) {
    wrl_query* sent = EveryType();
    wrl_query* wire = EveryType();
    ASSERT_EQ(wrl_query_hton(wire), WRL_OK);
    EXPECT_EQ(wire->first->next->next->next->next->next->length, 48u);  // identify
    ASSERT_EQ(wrl_query_send(client_, wire), WRL_OK);
    wrl_query* got = nullptr;
    ASSERT_EQ(wrl_query_receive(server_, &got), WRL_OK);
    ExpectSameItems(wire, got);
    ASSERT_EQ(wrl_query_ntoh(got), WRL_OK);
    ValueTwoAsItTravels(sent);
    ExpectSameItems(sent, got);
    EXPECT_EQ(got->status, 4u);
    EXPECT_EQ(got->word1, 0xfeedfaceu);
    EXPECT_EQ(got->word3, 0x80000000u);
    EXPECT_EQ(got->magic, WRL_QUERY_MAGIC);
    EXPECT_EQ(got->version, WRL_QUERY_VERSION);
    const void* data = nullptr;
    for (int i = 0; i < 6; ++i) wrl_query_nextitem(got, nullptr, nullptr, &data, nullptr);
    EXPECT_EQ(static_cast<const wrl_identify*>(data)->value2, 255u);  // 0x1FF went as 0xFF

    ASSERT_EQ(wrl_query_ack(server_, got), WRL_OK);
    wrl_query* ack = nullptr;
    ASSERT_EQ(wrl_query_receive(client_, &ack), WRL_OK);
    EXPECT_EQ(ack->kind, 1u);
    EXPECT_EQ(ack->status, 4u);
    EXPECT_EQ(ack->count, 0u);
    EXPECT_EQ(ack->word1, 0xfeedfaceu);
    EXPECT_EQ(ack->word2, 1u);
    for (wrl_query* q : {sent, wire, got, ack}) wrl_query_free(q);
}

// The server plays a host of the other byte order: it reads the rows into its own layout,
// and what it sends back reads as the original here.
TEST_F(QueryPairTest, APeerOfTheOtherByteOrderSeesItsOwnLayoutAndAnswersInKind) {
    wrl_query* sent = EveryType();
    wrl_query* wire = EveryType();
    ASSERT_EQ(wrl_query_hton(wire), WRL_OK);
    ASSERT_EQ(wrl_query_send(client_, wire), WRL_OK);
    wrl_query* there = nullptr;
    ASSERT_EQ(wrl_query_receive(server_, &there), WRL_OK);
    ASSERT_EQ(wrl::ConvertQuery(there, kOther, false), WRL_OK);
    const Row* row = reinterpret_cast<const Row*>(there->first->data);
    const Row mine = MakeRow(0);
    EXPECT_EQ(row->id, static_cast<int32_t>(Swapped(static_cast<uint32_t>(mine.id))));
    EXPECT_STREQ(row->name, mine.name);
    const auto* id =
        reinterpret_cast<const wrl_identify*>(there->first->next->next->next->next->next->data);
    EXPECT_EQ(id->value2, Swapped(255u));
    EXPECT_STREQ(id->name, "station");
    ASSERT_EQ(wrl::ConvertQuery(there, kOther, true), WRL_OK);
    ASSERT_EQ(wrl_query_send(server_, there), WRL_OK);
    wrl_query* back = nullptr;
    ASSERT_EQ(wrl_query_receive(client_, &back), WRL_OK);
    ASSERT_EQ(wrl_query_ntoh(back), WRL_OK);
    ValueTwoAsItTravels(sent);
    ExpectSameItems(sent, back);
    for (wrl_query* q : {sent, wire, there, back}) wrl_query_free(q);
}

TEST_F(QueryPairTest, AnEmptyQueryIsExactlyItsHeaderAndTheStreamStaysInStep) {
    wrl_query* q = nullptr;
    ASSERT_EQ(wrl_query_create(&q), WRL_OK);
    q->kind = 2;
    ASSERT_EQ(wrl_query_send(client_, q), WRL_OK);
    ASSERT_EQ(wrl_query_ack(client_, q), WRL_OK);  // identify: nothing sent
    ASSERT_EQ(wrl_net_write(client_, "next", 4), WRL_OK);
    EXPECT_EQ(ServerRead(24),
              (bytes{'d', 't', 18, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ServerRead(4), (bytes{'n', 'e', 'x', 't'}));
    wrl_query_free(q);
}

TEST_F(QueryPairTest, AVersionMismatchHeaderYieldsNoItemsAndLeavesTheRestUnread) {
    bytes raw(24);
    wrl_query h{};
    h.status = WRL_EVERSION;
    h.count = 5;
    wrl::EncodeQueryHeader(h, raw.data());
    ASSERT_EQ(wrl_net_write(client_, raw.data(), 24), WRL_OK);
    ASSERT_EQ(wrl_net_write(client_, "tail", 4), WRL_OK);
    wrl_query* got = nullptr;
    ASSERT_EQ(wrl_query_receive(server_, &got), WRL_OK);
    EXPECT_EQ(got->status, 13u);
    EXPECT_EQ(got->count, 0u);
    EXPECT_EQ(ServerRead(4), (bytes{'t', 'a', 'i', 'l'}));
    wrl_query_free(got);
}

TEST_F(QueryPairTest, ItemsAcrossAndAboveTheStagingSizeArriveWhole) {
    wrl_query* q = nullptr;
    ASSERT_EQ(wrl_query_create(&q), WRL_OK);
    // Above 64 KiB in all, so the frame goes out staged: 8000 fills most of the first
    // 8192-byte stage, 500 starts the next, 9000 and 60000 each need a larger stage.
    for (uint32_t size : {8000u, 500u, 9000u, 1u, 60000u}) {
        bytes data(size);
        for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + size);
        ASSERT_EQ(wrl_query_adddata(q, WRL_QUERY_BYTES, size, data.data(), size), WRL_OK);
    }
    ASSERT_EQ(wrl_query_send(client_, q), WRL_OK);
    wrl_query* got = nullptr;
    ASSERT_EQ(wrl_query_receive(server_, &got), WRL_OK);
    ExpectSameItems(q, got);
    wrl_query_free(q);
    wrl_query_free(got);
}

TEST_F(QueryPairTest, AReceiveWithAReadAlreadyQueuedFailsAndLeavesItAlone) {
    uint8_t buffer[4];
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_READ, buffer, sizeof buffer, nullptr), WRL_OK);
    wrl_query* got = reinterpret_cast<wrl_query*>(&buffer);
    EXPECT_EQ(wrl_query_receive(server_, &got), WRL_EFAIL);
    EXPECT_EQ(got, nullptr);
    EXPECT_TRUE(wrl_net_queued(server_, WRL_NET_READ));
    ASSERT_EQ(wrl_net_write(client_, "abcd", 4), WRL_OK);
    int dir = -1;
    void* user = nullptr;
    ASSERT_EQ(wrl_net_wait(server_, &dir, &user), WRL_OK);
    EXPECT_EQ(std::memcmp(buffer, "abcd", 4), 0);
}

TEST_F(QueryPairTest, AReaderHandsOutBackToBackQueriesInOrderFromOneStream) {
    std::vector<wrl_query*> sent;
    for (uint32_t size : {0u, 9000u, 100u, 70000u, 3u}) {
        wrl_query* q = nullptr;
        ASSERT_EQ(wrl_query_create(&q), WRL_OK);
        q->word1 = size;
        for (uint32_t i = 0; i < 3 && size > 0; ++i) {
            bytes data(size, static_cast<uint8_t>(i + size));
            ASSERT_EQ(wrl_query_adddata(q, WRL_QUERY_BYTES, i, data.data(), size), WRL_OK);
        }
        ASSERT_EQ(wrl_query_send(client_, q), WRL_OK);
        sent.push_back(q);
    }
    ASSERT_EQ(wrl_net_write(client_, "rest", 4), WRL_OK);
    wrl_query_reader* reader = nullptr;
    ASSERT_EQ(wrl_query_reader_create(server_, &reader), WRL_OK);
    for (wrl_query* q : sent) {
        wrl_query* got = nullptr;
        ASSERT_EQ(wrl_query_reader_receive(reader, &got), WRL_OK);
        EXPECT_EQ(got->word1, q->word1);
        ExpectSameItems(q, got);
        wrl_query_free(got);
        wrl_query_free(q);
    }
    // What followed the last query is the reader's now, and a broken stream is reported.
    EXPECT_LE(wrl_query_reader_buffered(reader), 4u);
    wrl_net_close(client_);
    wrl_query* got = nullptr;
    EXPECT_EQ(wrl_query_reader_receive(reader, &got), WRL_EBROKEN);
    EXPECT_EQ(got, nullptr);
    wrl_query_reader_free(reader);
}

// A sender that announces far more than it sends, then goes: the receive reports the
// broken connection, and everything it allocated is given back.
TEST_F(QueryPairTest, ABrokenConnectionMidQueryFreesEverything) {
    struct Case {
        uint32_t count;
        uint32_t length;
        uint32_t sent;
    };
    for (const Case& c : {Case{3, 0xffffffffu, 70000}, Case{0xffffffffu, 4, 4}, Case{2, 0, 0}}) {
        bytes raw(24);
        wrl_query h{};
        h.count = c.count;
        wrl::EncodeQueryHeader(h, raw.data());
        wrl_query_item item{};
        item.length = c.length;
        uint8_t head[9];
        wrl::EncodeItemHeader(item, head);
        raw.insert(raw.end(), head, head + 9);
        raw.insert(raw.end(), c.sent, 0x44);
        ASSERT_EQ(wrl_net_write(client_, raw.data(), static_cast<uint32_t>(raw.size())), WRL_OK);
        wrl_net_close(client_);
        unsigned long m0 = 0, f0 = 0, m1 = 0, f1 = 0;
        wrl_mallocstats_get(&m0, &f0);
        wrl_query* got = nullptr;
        EXPECT_EQ(wrl_query_receive(server_, &got), WRL_EBROKEN);
        EXPECT_EQ(got, nullptr);
        wrl_mallocstats_get(&m1, &f1);
        EXPECT_EQ(m1 - m0, f1 - f0);
        TearDown();
        SetUp();
    }
}

}  // namespace
