// Tests of the base tools' streams: mode letters, commit-to-disk, gzip round trips, and
// corrupt, truncated or foreign data behind a gzip mode.
#include "outside/tool_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class ToolFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tool_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string raw(const std::string& name) const {
        std::stringstream all;
        all << std::ifstream(path(name), std::ios::binary).rdbuf();
        return all.str();
    }
    void put_raw(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    // Reads the whole stream in pieces of `piece` bytes; *failed tells whether it failed.
    static std::string read_all(FILE* stream, size_t piece, bool* failed) {
        std::string all;
        std::vector<char> buffer(piece);
        size_t got = 0;
        while ((got = tool_fread(buffer.data(), 1, piece, stream)) > 0)
            all.append(buffer.data(), got);
        *failed = ferror(stream) != 0;
        return all;
    }
    std::string write_gzip(const std::string& name, const std::string& content) const {
        FILE* out = tool_fopen(path(name).c_str(), "wbz");
        EXPECT_NE(out, nullptr);
        EXPECT_EQ(tool_fwrite(content.data(), 1, content.size(), out), content.size());
        EXPECT_EQ(tool_fclose(out), 0);
        return raw(name);
    }
    static std::string pseudo_text(size_t size, uint32_t seed) {  // compressible, no NUL
        std::string text;
        while (text.size() < size) {
            seed = seed * 1103515245u + 12345u;
            text += "row " + std::to_string(seed % 1000) + " ";
            text.push_back(static_cast<char>(1 + (seed >> 24) % 255));
        }
        return text;
    }

    std::string dir_;
};

TEST_F(ToolFile, BadModesNamesAndArgumentsFail) {
    auto refused = [](const std::string& name, const char* mode, int error) {
        errno = 0;
        EXPECT_EQ(tool_fopen(name.c_str(), mode), nullptr) << name << " " << mode;
        EXPECT_EQ(errno, error) << name << " " << mode;
    };
    const std::string name = path("f");
    for (const char* mode : {"", "q", "rr", "rbb", "rw", "wbzz", "r+z", "wz+", "rx", "rbt", "wbce"})
        refused(name, mode, EINVAL);
    refused(path("missing"), "rbz", ENOENT);
    refused(dir_, "rb", EISDIR);
    refused(dir_, "rbz", EISDIR);
    EXPECT_EQ(tool_fopen(name.c_str(), nullptr), nullptr);
    EXPECT_EQ(tool_fopen(nullptr, "rb"), nullptr);
    put_raw("keep", "keep");
    EXPECT_EQ(tool_fopen(path("keep").c_str(), "wbx"), nullptr);
    EXPECT_EQ(tool_fopen(path("keep").c_str(), "wbzx"), nullptr);
    EXPECT_EQ(raw("keep"), "keep");

    char buffer[4];
    EXPECT_EQ(tool_fclose(nullptr), EOF);
    EXPECT_EQ(tool_fread(buffer, 1, 4, nullptr), 0u);
    EXPECT_LT(tool_fprintf(nullptr, "%d", 1), 0);
    FILE* stream = tool_fopen(name.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(tool_fwrite(nullptr, 1, 4, stream), 0u);
    EXPECT_EQ(tool_fwrite(buffer, SIZE_MAX / 2, 3, stream), 0u);  // size * count overflows
    EXPECT_EQ(tool_fclose(stream), 0);
    EXPECT_EQ(raw("f"), "");
}

TEST_F(ToolFile, CommitModeWritesAndReportsASyncFailure) {
    FILE* out = tool_fopen(path("db.tmp").c_str(), "wbc");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(tool_fwrite("KorvexServer  1.02", 1, 18, out), 18u);
    EXPECT_EQ(tool_fprintf(out, "%d-%s", 42, "rows"), 7);
    EXPECT_EQ(tool_fclose(out), 0);
    EXPECT_EQ(raw("db.tmp"), "KorvexServer  1.0242-rows");

    // A character device takes writes but cannot be synced: only 'c' streams notice.
    for (const char* mode : {"wc", "wzc", "w"}) {
        FILE* dev = tool_fopen("/dev/null", mode);
        ASSERT_NE(dev, nullptr);
        EXPECT_EQ(tool_fwrite("abc", 1, 3, dev), 3u);
        EXPECT_EQ(tool_fclose(dev), strchr(mode, 'c') != nullptr ? EOF : 0) << mode;
    }
}

TEST_F(ToolFile, GzipModeRoundTripsBinaryDataAndMoreThanOneMebibyteWithCommit) {
    const std::string content = pseudo_text(3u << 19, 12345);  // 1.5 MiB
    const unsigned char bytes[] = {0, 1, 2, 255, 0, 10, 13};
    FILE* out = tool_fopen(path("big.gz").c_str(), "wbzc");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(tool_fprintf(out, "mapper %d %s\n", 7, "ranges"), 16);
    EXPECT_EQ(tool_fwrite(bytes, sizeof bytes, 1, out), 1u);
    const size_t half = content.size() / 2;
    EXPECT_EQ(tool_fwrite(content.data(), 1, half, out), half);
    EXPECT_EQ(tool_fprintf(out, "%s", content.c_str() + half),
              static_cast<int>(content.size() - half));
    EXPECT_EQ(tool_fclose(out), 0);
    EXPECT_EQ(raw("big.gz").substr(0, 2), "\x1f\x8b");  // gzip magic on disk
    EXPECT_LT(raw("big.gz").size(), content.size());

    FILE* in = tool_fopen(path("big.gz").c_str(), "rbz");
    ASSERT_NE(in, nullptr);
    char line[64];
    ASSERT_NE(fgets(line, sizeof line, in), nullptr);  // plain stdio works on the stream
    EXPECT_STREQ(line, "mapper 7 ranges\n");
    unsigned char back[sizeof bytes];
    EXPECT_EQ(tool_fread(back, 1, sizeof back, in), sizeof bytes);
    EXPECT_EQ(memcmp(back, bytes, sizeof bytes), 0);
    bool failed = true;
    const std::string rest = read_all(in, 4093, &failed);  // odd pieces cross every boundary
    EXPECT_FALSE(failed);
    EXPECT_TRUE(rest == content) << rest.size() << " of " << content.size();
    EXPECT_NE(feof(in), 0);
    EXPECT_EQ(tool_fclose(in), 0);
}

TEST_F(ToolFile, GzipAppendAndSeek) {
    write_gzip("log.gz", "hello ");
    FILE* more = tool_fopen(path("log.gz").c_str(), "abz");
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(tool_fprintf(more, "world"), 5);
    EXPECT_EQ(tool_fclose(more), 0);
    FILE* in = tool_fopen(path("log.gz").c_str(), "rbz");
    ASSERT_NE(in, nullptr);
    bool failed = true;
    EXPECT_EQ(read_all(in, 3, &failed), "hello world");
    EXPECT_FALSE(failed);
    // Positions count uncompressed bytes; backwards works while reading, the end never.
    EXPECT_EQ(fseek(in, 6, SEEK_SET), 0);
    EXPECT_EQ(ftell(in), 6);
    EXPECT_EQ(fgetc(in), 'w');
    EXPECT_EQ(fseek(in, 1, SEEK_SET), 0);
    EXPECT_EQ(fgetc(in), 'e');
    EXPECT_NE(fseek(in, 0, SEEK_END), 0);
    tool_fclose(in);
}

TEST_F(ToolFile, CorruptGzipGivesReadErrorsNotCrashes) {
    const std::string content = pseudo_text(200000, 99), good = write_gzip("good.gz", content);
    ASSERT_GT(good.size(), 200u);
    std::string damaged = good, bad_crc = good;
    for (size_t i = good.size() / 3; i < good.size() / 3 + 64; ++i) damaged[i] ^= 0x5a;
    bad_crc[good.size() - 8] ^= 1;
    const std::pair<const char*, std::string> cases[] = {
        {"damaged", damaged},
        {"truncated", good.substr(0, good.size() / 2)},
        {"bad_crc", bad_crc},
        {"plain", "this was never compressed\n"},
        {"empty", ""}};
    for (const auto& [name, bytes] : cases) {
        put_raw(name, bytes);
        FILE* in = tool_fopen(path(name).c_str(), "rbz");
        ASSERT_NE(in, nullptr) << name;
        bool failed = false;
        const std::string got = read_all(in, 8192, &failed);
        EXPECT_LE(got.size(), content.size()) << name;
        EXPECT_TRUE(failed || (bytes.empty() && got.empty())) << name;
        EXPECT_EQ(tool_fread(&failed, 1, 1, in), 0u) << name;  // stays failed
        EXPECT_EQ(tool_fclose(in), 0) << name;
    }
}

}  // namespace
