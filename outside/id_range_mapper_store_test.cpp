// Id range mappers: mapping and lookup, the refusals of a run, and the body in a stream --
// round trips through plain and gzip streams, and refusal of truncated, altered and hostile
// bodies with the mapper left as it was.
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "outside/domain_test_support.h"
#include "outside/tool_file.h"

namespace domain_store_test {
namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& bytes, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t crc_of(const Bytes& bytes) {
    return static_cast<uint32_t>(
        crc32(crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

struct RunSpec {
    int32_t old_first, count, new_first;
};

// A body built by hand with correct checksums, whatever it claims.
Bytes make_body(const std::vector<RunSpec>& runs, uint32_t claimed_count, uint32_t version = 1) {
    Bytes body = {'Q', 'I', 'R', 'M'};
    put32(body, version);
    put32(body, claimed_count);
    put32(body, crc_of(body));
    for (const RunSpec& run : runs) {
        put32(body, static_cast<uint32_t>(run.old_first));
        put32(body, static_cast<uint32_t>(run.count));
        put32(body, static_cast<uint32_t>(run.new_first));
        body.insert(body.end(), 12, 0xab);
    }
    put32(body, crc_of(body));
    return body;
}

class MapperTest : public DomainTest {
  protected:
    void SetUp() override {
        DomainTest::SetUp();
        ASSERT_EQ(0, dbv_createidrangemapper(&mapper_));
        int32_t first = 0;
        ASSERT_EQ(0, dbv_newidrange(domain_, 1000, &first));
    }
    void TearDown() override {
        dbv_deleteidrangemapper(mapper_);
        DomainTest::TearDown();
    }
    // The new time id of an old id through guid and domain, or 0 when unmapped.
    int32_t new_id_of(int32_t old_id, dbv_idrangemapper_s* mapper = nullptr) {
        dbv_guid_s guid{};
        if (dbv_idrangemapper_idtoguid(mapper != nullptr ? mapper : mapper_, old_id, &guid) != 0) {
            return 0;
        }
        int32_t id = 0;
        EXPECT_EQ(0, dbv_guidtotimeid(domain_, &guid, &id));
        return id;
    }
    Bytes write_body() {
        FILE* f = std::tmpfile();
        EXPECT_EQ(0, dbv_idrangemapper_write(f, mapper_));
        Bytes bytes(static_cast<size_t>(std::ftell(f)));
        std::rewind(f);
        EXPECT_EQ(bytes.size(), std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
        return bytes;
    }
    int read_body(const Bytes& bytes, size_t size) {
        FILE* f = std::tmpfile();
        if (size > 0) std::fwrite(bytes.data(), 1, size, f);
        std::rewind(f);
        const int result = dbv_idrangemapper_read(f, mapper_);
        std::fclose(f);
        return result;
    }
    int read_body(const Bytes& bytes) { return read_body(bytes, bytes.size()); }
    // The mapping that every refused read must leave in place.
    void map_sentinel() { ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, domain_, 100, 500, 10)); }
    void expect_sentinel() {
        EXPECT_EQ(500, new_id_of(100));
        EXPECT_EQ(509, new_id_of(109));
        EXPECT_EQ(0, new_id_of(110));
    }
    dbv_idrangemapper_s* mapper_ = nullptr;
};

TEST_F(MapperTest, OldIdsOfARunMapOntoTheNewRun) {
    ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, domain_, 100, 11, 50));
    ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, domain_, 10, 300, 5));
    ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, domain_, 150, 1, 1));  // right behind 100..149
    const struct {
        int32_t old_id, expected;
    } cases[] = {{100, 11}, {125, 36}, {149, 60},      {150, 1},      {10, 300},
                 {14, 304}, {9, 0},    {15, 0},        {99, 0},       {151, 0},
                 {0, 0},    {-5, 0},   {INT32_MAX, 0}, {INT32_MIN, 0}};
    for (const auto& c : cases) EXPECT_EQ(c.expected, new_id_of(c.old_id)) << c.old_id;
}

TEST_F(MapperTest, BadRunsAreRefusedAndRecordNothing) {
    ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, domain_, 100, 1, 50));  // 100 ... 149
    dbv_domain_s* other = nullptr;
    ASSERT_EQ(0, dbv_createdomain(&other));
    new_id(other);
    ASSERT_EQ(1001, import_from(other, 1));
    const struct {
        int32_t old_first, new_first, count;
        const char* why;
    } cases[] = {
        {200, 1, 0, "count 0"},
        {200, 1, -1, "negative count"},
        {0, 1, 5, "old id 0"},
        {-10, 1, 5, "negative old id"},
        {200, 0, 5, "new id 0"},
        {INT32_MAX - 2, 1, 4, "old run passes INT32_MAX"},
        {200, INT32_MAX - 2, 4, "new run passes INT32_MAX"},
        {200, 998, 5, "new run not handed out"},
        {200, 1000, 2, "new run reaches an import's local id"},
        {90, 1, 11, "overlaps the start"},
        {149, 1, 1, "overlaps the end"},
        {120, 1, 5, "inside"},
        {50, 1, 200, "around"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(0, dbv_idrangemapper_map(mapper_, domain_, c.old_first, c.new_first, c.count))
            << c.why;
    }
    for (const int32_t unmapped : {99, 150, 200}) EXPECT_EQ(0, new_id_of(unmapped));
    EXPECT_EQ(50, new_id_of(149));
    EXPECT_EQ(0, dbv_deletedomain(other));
}

TEST_F(MapperTest, RunsAtTheLimitsWork) {
    dbv_domain_s* big = nullptr;
    ASSERT_EQ(0, dbv_createdomain(&big));
    int32_t first = 0;
    ASSERT_EQ(0, dbv_newidrange(big, INT32_MAX, &first));
    ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, big, 1, 1, INT32_MAX));
    dbv_guid_s guid{};
    int32_t id = 0;
    ASSERT_EQ(0, dbv_idrangemapper_idtoguid(mapper_, INT32_MAX, &guid));
    ASSERT_EQ(0, dbv_guidtotimeid(big, &guid, &id));
    EXPECT_EQ(INT32_MAX, id);
    EXPECT_EQ(0, dbv_deletedomain(big));
}

TEST_F(MapperTest, MapperOutlivesItsDomainAndDeletedMapperIsStale) {
    dbv_domain_s* other = nullptr;
    ASSERT_EQ(0, dbv_createdomain(&other));
    int32_t first = 0;
    ASSERT_EQ(0, dbv_newidrange(other, 10, &first));
    ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, other, 1, 1, 10));
    dbv_guid_s expected{};
    ASSERT_EQ(0, dbv_timeidtoguid(other, 7, &expected));
    ASSERT_EQ(0, dbv_deletedomain(other));
    dbv_guid_s guid{};
    ASSERT_EQ(0, dbv_idrangemapper_idtoguid(mapper_, 7, &guid));
    EXPECT_EQ(0, std::memcmp(expected.bytes, guid.bytes, 16));
    EXPECT_NE(0, dbv_idrangemapper_map(mapper_, other, 20, 1, 1));  // stale domain

    dbv_idrangemapper_s* stale = mapper_;
    ASSERT_EQ(0, dbv_deleteidrangemapper(stale));
    ASSERT_EQ(0, dbv_createidrangemapper(&mapper_));  // takes the freed slot
    FILE* f = std::tmpfile();
    EXPECT_NE(0, dbv_idrangemapper_idtoguid(stale, 7, &guid));
    EXPECT_NE(0, dbv_idrangemapper_map(stale, domain_, 1, 1, 1));
    EXPECT_NE(0, dbv_idrangemapper_write(f, stale));
    EXPECT_NE(0, dbv_idrangemapper_read(f, stale));
    EXPECT_NE(0, dbv_deleteidrangemapper(stale));
    EXPECT_EQ(0, std::ftell(f));
    std::fclose(f);
}

TEST_F(MapperTest, BodyRoundTripsThroughAPlainStreamAndStopsBehindItself) {
    for (int32_t i = 0; i < 3000; ++i) {  // more runs than the reader takes in one chunk
        ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, domain_, 1 + 3 * (2999 - i), 1 + i % 999, 2));
    }
    FILE* f = std::tmpfile();
    ASSERT_EQ(0, dbv_idrangemapper_write(f, mapper_));
    std::fputs("TAIL", f);
    std::rewind(f);
    dbv_idrangemapper_s* copy = nullptr;
    ASSERT_EQ(0, dbv_createidrangemapper(&copy));
    ASSERT_EQ(0, dbv_idrangemapper_read(f, copy));
    char tail[5] = {};
    EXPECT_EQ(4u, std::fread(tail, 1, 4, f));
    EXPECT_STREQ("TAIL", tail);
    std::fclose(f);
    for (int32_t old_id = 0; old_id < 9005; ++old_id) {
        ASSERT_EQ(new_id_of(old_id), new_id_of(old_id, copy)) << old_id;
    }
    EXPECT_EQ(0, dbv_deleteidrangemapper(copy));
}

TEST_F(MapperTest, BodyRoundTripsThroughAGzipStream) {
    map_sentinel();
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("mapper_body_" + std::to_string(getpid()) + ".gz"))
                                 .string();
    FILE* out = tool_fopen(path.c_str(), "wbz");
    ASSERT_NE(nullptr, out);
    ASSERT_EQ(0, dbv_idrangemapper_write(out, mapper_));
    ASSERT_EQ(0, tool_fclose(out));
    ASSERT_EQ(0, dbv_deleteidrangemapper(mapper_));
    ASSERT_EQ(0, dbv_createidrangemapper(&mapper_));
    FILE* in = tool_fopen(path.c_str(), "rbz");
    ASSERT_NE(nullptr, in);
    EXPECT_EQ(0, dbv_idrangemapper_read(in, mapper_));
    EXPECT_EQ(0, tool_fclose(in));
    std::filesystem::remove(path);
    expect_sentinel();
}

TEST_F(MapperTest, TruncatedOrAlteredBodiesAreRefused) {
    ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, domain_, 1, 1, 5));
    ASSERT_EQ(0, dbv_idrangemapper_map(mapper_, domain_, 10, 20, 5));
    const Bytes body = write_body();
    ASSERT_EQ(16u + 2 * 24 + 4, body.size());
    ASSERT_EQ(0, dbv_deleteidrangemapper(mapper_));
    ASSERT_EQ(0, dbv_createidrangemapper(&mapper_));
    map_sentinel();
    for (size_t size = 0; size < body.size(); ++size) EXPECT_NE(0, read_body(body, size)) << size;
    for (size_t i = 0; i < body.size(); ++i) {
        Bytes altered = body;
        altered[i] ^= 0x10;
        EXPECT_NE(0, read_body(altered)) << i;
    }
    expect_sentinel();
    ASSERT_EQ(0, read_body(make_body({}, 0)));  // an empty body empties the mapper
    EXPECT_EQ(0, new_id_of(100));
}

TEST_F(MapperTest, WellSealedButHostileBodiesAreRefused) {
    map_sentinel();
    const struct {
        std::vector<RunSpec> runs;
        uint32_t claimed;
        const char* why;
    } cases[] = {
        {{{1, 5, 1}, {3, 5, 10}}, 2, "overlapping runs"},
        {{{10, 5, 1}, {1, 5, 10}}, 2, "runs out of order"},
        {{{INT32_MAX, 2, 1}}, 1, "old run passes INT32_MAX"},
        {{{1, 2, INT32_MAX}}, 1, "new run passes INT32_MAX"},
        {{{1, 0, 1}}, 1, "empty run"},
        {{{1, -4, 1}}, 1, "negative count"},
        {{{0, 1, 1}}, 1, "old id 0"},
        {{{1, 1, 0}}, 1, "new id 0"},
        {{{1, 1, 1}}, 0xffffffffu, "count beyond INT32_MAX"},
        {{{1, 1, 1}}, 0x7fffffffu, "huge count in a short stream"},
        {{{1, 1, 1}, {5, 1, 1}}, 1, "count one less than the runs"},
    };
    for (const auto& c : cases) EXPECT_NE(0, read_body(make_body(c.runs, c.claimed))) << c.why;
    EXPECT_NE(0, read_body(make_body({}, 0, 2))) << "another version";
    EXPECT_NE(0, read_body(Bytes(64, 0))) << "noise";
    EXPECT_NE(0, dbv_idrangemapper_read(nullptr, mapper_));
    expect_sentinel();
    // The hand-built format itself is right: a body with one good run is taken.
    ASSERT_EQ(0, read_body(make_body({{1, 3, 7}}, 1)));
    dbv_guid_s guid{};
    ASSERT_EQ(0, dbv_idrangemapper_idtoguid(mapper_, 3, &guid));
    EXPECT_EQ(9u, guid.bytes[12]);
    EXPECT_EQ(0xabu, guid.bytes[0]);
}

}  // namespace
}  // namespace domain_store_test
