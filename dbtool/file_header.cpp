// Encoding and checked decoding of qm_dbtool's file header.
#include "dbtool/file_header.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "outside/table_store.h"

namespace dbtool {
namespace {

constexpr unsigned char kMagic[4] = {'Q', 'M', 'D', 'T'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kMaxBody = 16u << 20;
constexpr size_t kChunk = 64 * 1024;

void put_u32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void put_text(std::string& out, const std::string& text) {
    put_u32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

uint32_t get_le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t crc_of(const std::string& bytes) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0),
                                       reinterpret_cast<const Bytef*>(bytes.data()),
                                       static_cast<uInt>(bytes.size())));
}

// Reads the body's fields, each checked against the bytes that are left.
class BodyReader {
  public:
    explicit BodyReader(const std::string& body) : body_(body) {}

    bool u32(uint32_t& v) {
        if (body_.size() - at_ < 4) return false;
        v = get_le32(reinterpret_cast<const unsigned char*>(body_.data()) + at_);
        at_ += 4;
        return true;
    }
    bool i32(int32_t& v) {
        uint32_t u = 0;
        if (!u32(u)) return false;
        std::memcpy(&v, &u, sizeof v);
        return true;
    }
    bool u8(uint8_t& v) {
        if (at_ >= body_.size()) return false;
        v = static_cast<uint8_t>(body_[at_++]);
        return true;
    }
    bool text(std::string& v, size_t limit) {
        uint32_t length = 0;
        if (!u32(length) || length > limit || length > body_.size() - at_) return false;
        v.assign(body_, at_, length);
        at_ += length;
        return true;
    }
    // A count of items of at least `min_item_bytes` each, checked against what is left.
    bool count(uint32_t& n, size_t min_item_bytes) {
        return u32(n) && n <= (body_.size() - at_) / min_item_bytes;
    }
    bool at_end() const { return at_ == body_.size(); }

  private:
    const std::string& body_;
    size_t at_ = 0;
};

bool fail(std::string& error, const std::string& what) {
    error = what;
    return false;
}

bool read_table(BodyReader& in, TableDescription& t, std::string& error) {
    uint8_t framed = 0;
    uint32_t columns = 0;
    if (!in.i32(t.number) || !in.text(t.name, 31) || !in.u8(framed) || !in.count(columns, 12)) {
        return fail(error, "a table entry is cut short");
    }
    if (t.number < 1 || t.name.empty() || framed > 1 || columns == 0 || columns > 1024) {
        return fail(error, "a table entry is malformed");
    }
    t.framed = framed == 1;
    std::set<std::string> names;
    for (uint32_t i = 0; i < columns; ++i) {
        ColumnDescription c;
        if (!in.text(c.name, 31) || !in.i32(c.type) || !in.i32(c.size)) {
            return fail(error, "a column entry is cut short");
        }
        const bool sized = c.type == DBD_TEXT || c.type == DBD_BYTES;
        if (c.name.empty() || c.type < DBD_INT32 || c.type > DBD_BYTES ||
            (sized && (c.size < 1 || c.size > 65536)) || !names.insert(c.name).second) {
            return fail(error, "column entry of table " + t.name + " is malformed");
        }
        t.columns.push_back(c);
    }
    uint32_t keys = 0;
    if (!in.count(keys, 4) || keys == 0 || keys > DBD_MAX_INDEX_COLUMNS) {
        return fail(error, "the key of table " + t.name + " is malformed");
    }
    for (uint32_t i = 0; i < keys; ++i) {
        std::string key;
        if (!in.text(key, 31) || names.count(key) == 0) {
            return fail(error, "the key of table " + t.name + " names no column");
        }
        t.key.push_back(key);
    }
    uint32_t tags = 0;
    if (!in.count(tags, 8)) return fail(error, "the tags of table " + t.name + " are cut short");
    for (uint32_t i = 0; i < tags; ++i) {
        std::string tag;
        std::string column;
        if (!in.text(tag, 31) || !in.text(column, 31) || tag.empty() || names.count(column) == 0) {
            return fail(error, "a tag of table " + t.name + " is malformed");
        }
        t.tags.emplace_back(tag, column);
    }
    return true;
}

}  // namespace

bool WriteFileHeader(FILE* file, const FileHeader& header) {
    std::string body;
    put_text(body, header.description);
    put_u32(body, header.flags);
    put_u32(body, static_cast<uint32_t>(header.tables.size()));
    for (const TableDescription& t : header.tables) {
        put_u32(body, static_cast<uint32_t>(t.number));
        put_text(body, t.name);
        body += static_cast<char>(t.framed ? 1 : 0);
        put_u32(body, static_cast<uint32_t>(t.columns.size()));
        for (const ColumnDescription& c : t.columns) {
            put_text(body, c.name);
            put_u32(body, static_cast<uint32_t>(c.type));
            put_u32(body, static_cast<uint32_t>(c.size));
        }
        put_u32(body, static_cast<uint32_t>(t.key.size()));
        for (const std::string& k : t.key) put_text(body, k);
        put_u32(body, static_cast<uint32_t>(t.tags.size()));
        for (const auto& [tag, column] : t.tags) {
            put_text(body, tag);
            put_text(body, column);
        }
    }
    if (body.size() > kMaxBody) return false;
    std::string prefix(reinterpret_cast<const char*>(kMagic), 4);
    put_u32(prefix, kVersion);
    put_u32(prefix, static_cast<uint32_t>(body.size()));
    put_u32(prefix, crc_of(body));
    return std::fwrite(prefix.data(), 1, prefix.size(), file) == prefix.size() &&
           std::fwrite(body.data(), 1, body.size(), file) == body.size();
}

bool ReadFileHeader(FILE* file, FileHeader& header, std::string& error) {
    unsigned char prefix[16];
    if (std::fread(prefix, 1, sizeof prefix, file) != sizeof prefix) {
        return fail(error, "the file is too short for a header");
    }
    if (std::memcmp(prefix, kMagic, 4) != 0) return fail(error, "not a qm_dbtool database file");
    if (get_le32(prefix + 4) != kVersion) return fail(error, "unsupported header version");
    const uint32_t length = get_le32(prefix + 8);
    if (length > kMaxBody) return fail(error, "the header claims more than 16 MiB");
    std::string body;
    while (body.size() < length) {  // grows only with the bytes that really arrive
        const size_t want = std::min<size_t>(kChunk, length - body.size());
        const size_t old = body.size();
        body.resize(old + want);
        if (std::fread(body.data() + old, 1, want, file) != want) {
            return fail(error, "the header is cut short");
        }
    }
    if (crc_of(body) != get_le32(prefix + 12)) return fail(error, "the header's checksum is wrong");

    BodyReader in(body);
    FileHeader read;
    uint32_t tables = 0;
    if (!in.text(read.description, length) || !in.u32(read.flags) || !in.count(tables, 17)) {
        return fail(error, "the header's body is cut short");
    }
    if (read.flags > 15) return fail(error, "the header has unknown flags");
    std::set<int32_t> numbers;
    std::set<std::string> names;
    for (uint32_t i = 0; i < tables; ++i) {
        TableDescription t;
        if (!read_table(in, t, error)) return false;
        if (!numbers.insert(t.number).second || !names.insert(t.name).second) {
            return fail(error, "table " + t.name + " is listed twice");
        }
        read.tables.push_back(std::move(t));
    }
    if (!in.at_end()) return fail(error, "the header has bytes behind its tables");
    header = std::move(read);
    return true;
}

}  // namespace dbtool
