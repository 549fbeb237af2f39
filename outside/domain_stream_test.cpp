// Tests of the domain and event-container blocks: exact round trips (prefix, counter,
// imports, events), the read's checks, refused truncated, corrupted and hostile blocks
// that leave the domain unchanged, and the opening of database files.
#include "outside/domain_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "outside/domain_stream_internal.h"
#include "outside/domain_test_support.h"
#include "outside/store_seams.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A temporary stream holding `bytes`, positioned at its start.
FILE* stream_of(const Bytes& bytes) {
    FILE* f = std::tmpfile();
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

Bytes contents(FILE* f) {
    Bytes bytes;
    std::rewind(f);
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f))
        bytes.push_back(static_cast<uint8_t>(c));
    return bytes;
}

Bytes domain_block(dbv_domain_s* domain) {
    FILE* f = std::tmpfile();
    EXPECT_EQ(0, dbv_write_domain(f, domain));
    Bytes bytes = contents(f);
    std::fclose(f);
    return bytes;
}

Bytes events_block(dbv_domainevents_s* events) {
    FILE* f = std::tmpfile();
    EXPECT_EQ(0, dbv_write_domainevents(f, events));
    Bytes bytes = contents(f);
    std::fclose(f);
    return bytes;
}

void put32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

int32_t event_count(dbv_domainevents_s* events) {
    int32_t count = -1;
    EXPECT_EQ(0, dbv_geteventcount(events, &count));
    return count;
}

struct EventView {
    int32_t time_id;
    std::string description;  // "<null>" for none
    bool operator==(const EventView&) const = default;
};

std::vector<EventView> view(dbv_domainevents_s* events) {
    std::vector<EventView> out;
    for (int32_t i = 0; i < event_count(events); ++i) {
        dbv_event_s* event = nullptr;
        const char* text = nullptr;
        int32_t id = 0;
        EXPECT_EQ(0, dbv_geteventnr(events, i, &event));
        EXPECT_EQ(0, dbv_geteventdescription(event, &text));
        EXPECT_EQ(0, dbv_geteventtimeid(event, &id));
        out.push_back({id, text != nullptr ? text : "<null>"});
    }
    return out;
}

class DomainStreamTest : public domain_store_test::DomainTest {
  protected:
    void SetUp() override {
        DomainTest::SetUp();
        ASSERT_EQ(0, dbv_createdomain(&other_));
        ASSERT_EQ(0, dbv_createdomain(&target_));
        ASSERT_EQ(0, dbv_createdomainevents(target_, &runtime_));
    }
    void TearDown() override {
        dbv_deletedomain(other_);
        dbv_deletedomain(target_);
        DomainTest::TearDown();
    }

    // domain_ with own ids, two imports of which one is forgotten, a third import, and an
    // event container with descriptions (one null).
    void build_source() {
        new_id();
        import_from(other_, new_id(other_));
        ASSERT_EQ(0, dbv_cleardomain(domain_));
        new_id();
        new_id(other_);
        import_from(other_, new_id(other_));
        ASSERT_EQ(0, dbv_createdomainevents(domain_, &source_events_));
        for (const char* text : {"Saved@12:00", static_cast<const char*>(nullptr), "", "x"}) {
            dbv_event_s* event = nullptr;
            ASSERT_EQ(0, dbv_createevent(source_events_, text, &event));
        }
    }

    int read(const Bytes& block, int32_t flags = 0, int32_t mode = 8,
             dbv_domainheader_s** header = nullptr, dbv_event_s* baseline = nullptr,
             dbv_domainevents_s* runtime = nullptr) {
        FILE* f = stream_of(block);
        const int result = dbv_read_domain(
            f, 1, target_, baseline, runtime != nullptr ? runtime : runtime_, flags, mode, header);
        std::fclose(f);
        return result;
    }

    dbv_domain_s* other_ = nullptr;
    dbv_domain_s* target_ = nullptr;
    dbv_domainevents_s* runtime_ = nullptr;
    dbv_domainevents_s* source_events_ = nullptr;
};

TEST_F(DomainStreamTest, RoundTripKeepsPrefixCounterImportsAndEvents) {
    build_source();
    const int32_t last = new_id();  // the highest id handed out so far
    const Bytes block = domain_block(domain_);
    dbv_domainheader_s* header = nullptr;
    ASSERT_EQ(0, read(block, 0, 40, &header));
    ASSERT_NE(nullptr, header);

    // Every id means the same guid on both sides, imported ones included.
    for (int32_t id = 1; id <= last; ++id) {
        dbv_guid_s a{}, b{};
        const int ra = dbv_timeidtoguid(domain_, static_cast<uint32_t>(id), &a);
        ASSERT_EQ(ra, dbv_timeidtoguid(target_, static_cast<uint32_t>(id), &b)) << id;
        if (ra == 0) {
            EXPECT_EQ(0, std::memcmp(a.bytes, b.bytes, 16)) << id;
        }
    }
    // The baseline takes the next id; fresh ids follow it.
    ASSERT_EQ((std::vector<EventView>{{last + 1, "<null>"}}), view(runtime_));
    int32_t next = 0;
    ASSERT_EQ(0, dbv_newid(target_, &next));
    EXPECT_EQ(last + 2, next);

    FILE* f = stream_of(events_block(source_events_));
    dbv_domainevents_s* copy = nullptr;
    ASSERT_EQ(0, dbv_read_domainevents(f, header, &copy));
    std::fclose(f);
    EXPECT_EQ(view(source_events_), view(copy));
    EXPECT_EQ("Saved@12:00", view(copy)[0].description);
    EXPECT_EQ("<null>", view(copy)[1].description);
    EXPECT_EQ(0, dbv_deletedomainheader(header));
}

TEST_F(DomainStreamTest, KeepRuntimeEventsMakesNoBaseline) {
    build_source();
    ASSERT_EQ(0, read(domain_block(domain_), DBV_READDOMAIN_KEEP_RUNTIME_EVENTS, 8, nullptr,
                      nullptr, nullptr));
    EXPECT_EQ(0, event_count(runtime_));
    EXPECT_EQ(domain_block(domain_), domain_block(target_));
}

// Each case reads a block into the target after `prepare` and must be refused.
TEST_F(DomainStreamTest, ReadRefusesBadArgumentsAndInconsistentStates) {
    build_source();
    const Bytes block = domain_block(domain_);
    dbv_domainevents_s* foreign_runtime = nullptr;
    ASSERT_EQ(0, dbv_createdomainevents(other_, &foreign_runtime));
    dbv_event_s* foreign_event = nullptr;
    ASSERT_EQ(0, dbv_createevent(foreign_runtime, "e", &foreign_event));

    FILE* f = stream_of(block);
    EXPECT_NE(0, dbv_read_domain(f, 2, target_, nullptr, runtime_, 0, 8, nullptr));
    std::fclose(f);
    for (const int32_t mode : {0, 1, 10, 16, 24, 72}) EXPECT_NE(0, read(block, 0, mode)) << mode;
    for (const int32_t flags : {1, 0x800, 0x4401}) EXPECT_NE(0, read(block, flags)) << flags;
    EXPECT_NE(0, read(block, 0, 8, nullptr, nullptr, foreign_runtime));  // another domain's
    EXPECT_NE(0, read(block, 0, 8, nullptr, foreign_event));
    EXPECT_NE(0, read(block, 0, 9));  // incremental into a domain of another prefix

    // A domain in use takes a foreign prefix only when asked to.
    int32_t id = 0;
    ASSERT_EQ(0, dbv_newid(target_, &id));
    const Bytes before = domain_block(target_);
    EXPECT_NE(0, read(block));
    EXPECT_EQ(before, domain_block(target_));
    EXPECT_EQ(0, read(block, DBV_READDOMAIN_REPLACE_FOREIGN));
    EXPECT_EQ(block.size(), domain_block(target_).size());
}

TEST_F(DomainStreamTest, ReadRefusesCountersThatWouldReissueIds) {
    build_source();
    const Bytes older = domain_block(domain_);
    ASSERT_EQ(0, read(older));  // target: the source's state plus a baseline
    new_id();
    new_id();
    const Bytes newer = domain_block(domain_);
    // The baseline id lies beyond the older block's counter: refused in both modes.
    EXPECT_NE(0, read(older));
    EXPECT_NE(0, read(older, DBV_READDOMAIN_REPLACE_FOREIGN));
    EXPECT_NE(0, read(older, 0, 9));
    // A later state of the same domain continues it incrementally.
    EXPECT_EQ(0, read(newer, 0, 9));
    EXPECT_EQ(2, event_count(runtime_));
}

TEST_F(DomainStreamTest, TruncatedOrCorruptedDomainBlocksChangeNothing) {
    build_source();
    const Bytes block = domain_block(domain_);
    int32_t id = 0;
    ASSERT_EQ(0, dbv_newid(target_, &id));
    const Bytes before = domain_block(target_);
    for (size_t length = 0; length < block.size(); ++length) {
        EXPECT_NE(
            0, read(Bytes(block.begin(), block.begin() + length), DBV_READDOMAIN_REPLACE_FOREIGN))
            << length;
    }
    for (size_t at = 0; at < block.size(); ++at) {
        Bytes bad = block;
        bad[at] ^= 0x10;
        EXPECT_NE(0, read(bad, DBV_READDOMAIN_REPLACE_FOREIGN)) << at;
    }
    EXPECT_EQ(before, domain_block(target_));
    EXPECT_EQ(0, event_count(runtime_));
}

TEST_F(DomainStreamTest, HugeCountsInShortStreamsAreRefused) {
    Bytes block = domain_block(domain_);  // no imports: 32 + 4 bytes
    ASSERT_EQ(36u, block.size());
    put32(block, 20, 0x7fffffff);  // counter
    put32(block, 24, 0x7fffffff);  // import count
    put32(block, 28, domain_stream::crc32_of(0, block.data(), 28));
    EXPECT_NE(0, read(block));

    dbv_domainheader_s* header = nullptr;
    ASSERT_EQ(0, read(domain_block(domain_), 0, 8, &header));
    dbv_domainevents_s* events = nullptr;
    ASSERT_EQ(0, dbv_createdomainevents(domain_, &events));
    Bytes ev = events_block(events);  // 28 + 4 bytes
    ASSERT_EQ(32u, ev.size());
    put32(ev, 20, 0xffffffff);
    put32(ev, 24, domain_stream::crc32_of(0, ev.data(), 24));
    ev.resize(28);
    for (const uint32_t length : {0xfffffffeu, 0x7fffffffu}) {
        Bytes hostile = ev;
        hostile.insert(hostile.end(), 8, 0);
        put32(hostile, 28, 1);       // time id: the baseline's, known to the copy
        put32(hostile, 32, length);  // description length
        hostile.insert(hostile.end(), {'a', 'b'});
        FILE* f = stream_of(hostile);
        dbv_domainevents_s* out = nullptr;
        EXPECT_NE(0, dbv_read_domainevents(f, header, &out));
        std::fclose(f);
    }
    dbv_deletedomainheader(header);
}

TEST_F(DomainStreamTest, EventBlocksOfAnotherDomainOrUnknownIdsAreRefused) {
    build_source();
    dbv_domainheader_s* header = nullptr;
    ASSERT_EQ(0, read(domain_block(domain_), 0, 8, &header));
    new_id();  // the copy's baseline took this id there
    dbv_event_s* later = nullptr;
    ASSERT_EQ(0, dbv_createevent(source_events_, "later", &later));  // id beyond the copy's
    dbv_domainevents_s* foreign = nullptr;
    ASSERT_EQ(0, dbv_createdomainevents(other_, &foreign));
    const Bytes good = [&] {
        dbv_domainevents_s* empty = nullptr;
        EXPECT_EQ(0, dbv_createdomainevents(domain_, &empty));
        return events_block(empty);
    }();
    Bytes corrupted = good;
    corrupted[10] ^= 1;
    const std::vector<Bytes> refused = {events_block(foreign), events_block(source_events_),
                                        corrupted, Bytes(good.begin(), good.end() - 1)};
    for (const Bytes& block : refused) {
        FILE* f = stream_of(block);
        dbv_domainevents_s* out = nullptr;
        EXPECT_NE(0, dbv_read_domainevents(f, header, &out));
        std::fclose(f);
    }
    FILE* f = stream_of(good);
    dbv_domainevents_s* out = nullptr;
    EXPECT_NE(0, dbv_read_domainevents(f, nullptr, &out));  // no header
    std::rewind(f);
    EXPECT_EQ(0, dbv_read_domainevents(f, header, &out));
    std::fclose(f);
    EXPECT_EQ(0, event_count(out));
    dbv_deletedomainheader(header);
}

TEST(DomainStreamFile, OpensOnlyUnderstoodModes) {
    const std::string name = ::testing::TempDir() + "domain_stream_file.bin";
    struct Case {
        const char* mode;
        bool opens;
    };
    const Case cases[] = {{"wb", true},  {"rb", true},  {"r+b", true}, {"ab+", true},
                          {"w", true},   {"", false},   {"x", false},  {"rbb", false},
                          {"rz", false}, {"r++", false}};
    for (const Case& c : cases) {
        FILE* f = dbv_fopen(name.c_str(), c.mode);
        EXPECT_EQ(c.opens, f != nullptr) << c.mode;
        if (f != nullptr) {
            EXPECT_EQ(0, dbv_fclose(f));
        }
    }
    EXPECT_EQ(nullptr, dbv_fopen(nullptr, "rb"));
    EXPECT_EQ(nullptr, dbv_fopen(name.c_str(), nullptr));
    EXPECT_EQ(nullptr, dbv_fopen((name + ".missing").c_str(), "rb"));
    EXPECT_EQ(EOF, dbv_fclose(nullptr));
    std::remove(name.c_str());
}

}  // namespace
