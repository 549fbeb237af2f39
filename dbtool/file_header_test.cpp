// The file header: a round trip, and hostile headers refused with a clear reason.
#include "dbtool/file_header.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "outside/table_store.h"

namespace {

std::string encode(const dbtool::FileHeader& header) {
    char* bytes = nullptr;
    size_t size = 0;
    FILE* file = open_memstream(&bytes, &size);
    EXPECT_TRUE(dbtool::WriteFileHeader(file, header));
    std::fclose(file);
    std::string out(bytes, size);
    std::free(bytes);
    return out;
}

bool decode(std::string bytes, dbtool::FileHeader& header, std::string& error) {
    bytes += "tail";  // the stream must stop just behind the header
    FILE* file = fmemopen(bytes.data(), bytes.size(), "r");
    const bool ok = dbtool::ReadFileHeader(file, header, error);
    char rest[8] = {};
    if (ok) {
        EXPECT_EQ(std::fread(rest, 1, sizeof rest, file), 4u);
    }
    std::fclose(file);
    return ok;
}

dbtool::FileHeader sample() {
    dbtool::FileHeader header;
    header.description = "Sample";
    header.flags = dbtool::kFlagDomain | dbtool::kFlagDbvIds;
    dbtool::TableDescription t;
    t.number = 10;
    t.name = "Part";
    t.framed = true;
    t.columns = {{"id", DBD_INT32, 0}, {"name", DBD_TEXT, 12}};
    t.key = {"id"};
    t.tags = {{"modelguidid", "id"}};
    header.tables.push_back(t);
    return header;
}

TEST(FileHeader, RoundTripKeepsEverything) {
    dbtool::FileHeader back;
    std::string error;
    ASSERT_TRUE(decode(encode(sample()), back, error)) << error;
    EXPECT_EQ(back.description, "Sample");
    EXPECT_EQ(back.flags, 9u);
    ASSERT_EQ(back.tables.size(), 1u);
    EXPECT_TRUE(back.tables[0].framed);
    EXPECT_EQ(back.tables[0].columns[1].size, 12);
    EXPECT_EQ(back.tables[0].tags[0].first, "modelguidid");
}

TEST(FileHeader, EveryTruncationAndBitFlipIsRefused) {
    const std::string good = encode(sample());
    dbtool::FileHeader back;
    std::string error;
    for (size_t cut = 0; cut < good.size(); ++cut) {
        std::string bytes = good.substr(0, cut);
        FILE* file = fmemopen(bytes.data(), bytes.size() + 1, "r");  // +1: fmemopen needs a byte
        EXPECT_FALSE(dbtool::ReadFileHeader(file, back, error)) << cut;
        std::fclose(file);
    }
    for (size_t at = 0; at < good.size(); ++at) {
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
        EXPECT_FALSE(decode(bytes, back, error)) << at;
    }
}

TEST(FileHeader, HostileLengthsAreRefusedBeforeAllocating) {
    std::string bytes = encode(sample());
    bytes[11] = 0x7f;  // body length far beyond the limit
    dbtool::FileHeader back;
    std::string error;
    EXPECT_FALSE(decode(bytes, back, error));
    EXPECT_EQ(error, "the header claims more than 16 MiB");
    bytes = encode(sample());
    bytes[11] = 0x00;
    bytes[10] = 0x10;  // 1 MiB claimed, a few bytes there
    EXPECT_FALSE(decode(bytes, back, error));
    EXPECT_EQ(error, "the header is cut short");
}

}  // namespace
