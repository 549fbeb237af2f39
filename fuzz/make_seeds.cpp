// Writes the seed corpora of the fuzz targets: small valid inputs of every kind, made by
// the real writers (table store, database file, frames) so that they stay in step with
// the formats. Usage: fuzz_make_seeds <fuzz/corpus folder>. Run by hand after a format
// change; the output is checked in.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/frame_collector.h"
#include "fuzz/fuzz_support.h"
#include "outside/store_domain_tables.h"
#include "protocol/cdb_request.h"
#include "server/request_handler.h"
#include "server/server_database.h"
#include "server/server_rows.h"
#include "server/server_state.h"
#include "server/server_tables.h"
#include "wirelay/query.h"
#include "wirelay/query_wire.h"

namespace {

std::string s_root;
using bytes = std::vector<uint8_t>;

void put(const std::string& target, const std::string& name, const bytes& content) {
    const std::string dir = s_root + "/" + target;
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
}
void put(const std::string& target, const std::string& name, const std::string& text) {
    put(target, name, bytes(text.begin(), text.end()));
}

void append(bytes& to, const bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

bytes file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bytes table_bytes(int32_t number) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    dbv_writetable(out, dbd_getvirtualtablepointer(number));
    std::fclose(out);
    bytes b(buffer, buffer + size);
    std::free(buffer);
    return b;
}

void address_seeds() {
    const char* texts[] = {"tcpip:localhost,1238", "tcpip:127.0.0.1,1",
                           "tcpip:::1,65535",      "tcpip:server.example,08080",
                           "serial:ttyS0,9600",    "tcpip:,1238",
                           "tcpip:host,",          "tcpip:host,65536"};
    int i = 0;
    for (const char* t : texts) put("fuzz_address", "a" + std::to_string(i++), t);
}

void command_line_seeds() {
    const std::string seeds[] = {std::string(""),
                                 std::string("--help"),
                                 std::string("--version"),
                                 std::string("localhost\0"
                                             "1238",
                                             14),
                                 std::string("server\0"
                                             "2000\0/var/db\0test",
                                             24),
                                 std::string("host\0"
                                             "1\0test",
                                             11),
                                 std::string("\0\0\0\0\0tcpip:envhost,99", 21)};
    int i = 0;
    for (const std::string& s : seeds) put("fuzz_command_line", "c" + std::to_string(i++), s);
}

void string_seeds() {
    // selector byte, first text, a zero, second text
    const std::pair<char, std::string> seeds[] = {
        {0, std::string("file_12.txt\0*_??.t[xy]t", 24)},
        {8, std::string("ABC\0a%c", 7)},
        {1, std::string("item 10b\0item 9b", 16)},
        {2, "tab\\009and\\nnewline\\\\back\\255"},
        {3, "call(a[1], {b})"},
        {3, "open ( without close"},
        {4, std::string("a(\",\" b), c\0,", 14)},
        {5, std::string("one, two;;three\0,;", 18)},
        {6, std::string("%HOME%/x/%USER%\0{}", 18)},
    };
    int i = 0;
    for (const auto& [selector, text] : seeds) {
        put("fuzz_strings", "s" + std::to_string(i++), std::string(1, selector) + text);
    }
}

void readtable_seeds() {
    qm_fuzz::open_reader_tables();
    for (int t = 0; t < 3; ++t) {
        dbv_tablestruct* table = dbd_getvirtualtablepointer(qm_fuzz::kReaderTables[t]);
        const int32_t length = dbv_getrowlength(table);
        bytes seed{static_cast<uint8_t>(t)};
        bytes empty = seed;
        append(empty, table_bytes(qm_fuzz::kReaderTables[t]));
        put("fuzz_readtable", "empty" + std::to_string(t), empty);
        for (int i = 0; i < 3; ++i) {
            std::string row(static_cast<size_t>(length), '\0');
            for (int32_t k = 0; k < length; ++k)
                row[static_cast<size_t>(k)] = static_cast<char>('a' + (k + i) % 26);
            row[4] = '\0';
            dbv_insert(table, row.data());
        }
        append(seed, table_bytes(qm_fuzz::kReaderTables[t]));
        put("fuzz_readtable", "rows" + std::to_string(t), seed);
    }
}

// Blocks of a domain table laid out like the one of fuzz_readtable_domain (id, owner,
// weight, name[12]); each seed's first byte steers that target (0 read, 1 skip, 2 merge,
// 4 fix prefix and CRCs).
void readtable_domain_seeds() {
    static const dbd_columndef_t columns[] = {{"id", DBD_INT32, 0},
                                              {"owner", DBD_INT32, 0},
                                              {"weight", DBD_FLOAT, 0},
                                              {"name", DBD_TEXT, 12}};
    static const dbd_indexdef_t indexes[] = {{"by_id", {"id"}, 1, 1},
                                             {"by_owner", {"owner"}, 1, 0}};
    static const dbd_tabledef_t definition = {"fuzz_domain_rows", columns, 4, indexes, 2, "by_id"};
    dbv_domain_s* domain = nullptr;
    dbv_domainheader_s* header = nullptr;
    int32_t first = 0;
    dbd_definevirtualtable(&definition);
    dbd_createvirtualdatabase("FuzzDomainSeeds");
    dbd_createvirtualtable("fuzz_domain_rows", 3, 1, 1, 1);
    dbv_tablestruct* table = dbd_getvirtualtablepointer(3);
    dbv_createdomain(&domain);
    dbv_newidrange(domain, 64, &first);
    dbv_createdomainheader(domain, &header);
    const dbv_domainfieldspec_s specs[] = {{1, 4, domain}, {-1, 0, nullptr}};
    dbv_converttable_domain(table, domain, specs, nullptr, nullptr);
    const auto block = [&] {
        char* buffer = nullptr;
        size_t size = 0;
        FILE* out = open_memstream(&buffer, &size);
        dbv_writetable_domain(out, header, table);
        std::fclose(out);
        bytes b(buffer, buffer + size);
        std::free(buffer);
        return b;
    };
    const bytes empty = block();
    struct {
        int32_t id, owner;
        float weight;
        char name[12];
    } row{};
    for (int32_t i = 0; i < 4; ++i) {
        row.id = 10 + i;
        row.owner = i;
        row.weight = static_cast<float>(i) / 2;
        std::snprintf(row.name, sizeof row.name, "seed%d", static_cast<int>(i));
        const dbv_domainrow32_s record{&row, 3 + i, 5 + i};
        dbv_insert_domain(table, &record);
    }
    row.id = 11;
    dbv_delete(dbd_getvirtualprimarypointer(3), &row);
    const bytes rows = block();
    for (const uint8_t steer : {0, 1, 4, 5, 6}) {
        bytes seed{steer};
        append(seed, steer == 4 ? empty : rows);
        put("fuzz_readtable_domain", "s" + std::to_string(steer), seed);
    }
    dbv_deletedomainheader(header);
    dbd_dropvirtualdatabase("FuzzDomainSeeds");
}

cdb_request request(uint32_t query, const char* model) {
    cdb_request r{};
    r.query = query;
    std::strncpy(r.model_name, model, sizeof r.model_name - 1);
    return r;
}

void database_seeds() {
    qm_fuzz::open_server_tables();
    qm_fuzz::clear_server_tables();
    const std::string& file = server_state().database_file;
    write_database_file();
    put("fuzz_database_file", "empty_1_02", file_bytes(file));
    for (uint32_t q : {CDB_GET_MAXID, CDB_GET_GA_ID, CDB_GET_MULTI_DRAWING_ID}) {
        cdb_request a = request(q, "model one");
        perform_request(a, "alice");
        cdb_request b = request(q, "model two");
        perform_request(b, "bob");
    }
    const bytes full = file_bytes(file);
    put("fuzz_database_file", "two_models_1_02", full);
    // The same counters in the old format: header 1.01 and the old table only.
    old_common_model_101_row old{};
    std::strncpy(old.name, "old model", sizeof old.name - 1);
    old.maxid = 4200;
    dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101), &old);
    bytes v101 = {'K', 'o', 'r', 'v', 'e', 'x', 'S', 'e', 'r',
                  'v', 'e', 'r', ' ', ' ', '1', '.', '0', '1'};
    const bytes part = table_bytes(SRV_TABLE_OLD_COMMON_MODEL_101);
    v101.insert(v101.end(), part.begin(), part.end());
    for (uint8_t b : {0x4f, 0x61, 0xbc, 0x00}) v101.push_back(b);
    put("fuzz_database_file", "old_model_1_01", v101);
    put("fuzz_database_file", "header_1_00", "KorvexServer  1.00");
    put("fuzz_database_file", "header_1_03", "KorvexServer  1.03");
    qm_fuzz::clear_server_tables();
}

bytes with_length(const cdb_request& r, size_t length) {
    bytes b{static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
    const auto* p = reinterpret_cast<const uint8_t*>(&r);
    for (size_t i = 0; i < length; ++i) b.push_back(i < sizeof r ? p[i] : 0);
    return b;
}

void request_seeds() {
    for (uint32_t q = CDB_FIRST_QUERY; q <= CDB_LAST_QUERY; ++q) {
        cdb_request r = request(q, "model");
        if (q == CDB_LOCK_DRAWING || q == CDB_UNLOCK_DRAWING ||
            q == CDB_CHECK_DRAWING_LOCK_STATUS) {
            drawinglocks_row d{};
            std::strncpy(d.DrawingName, "plan", sizeof d.DrawingName - 1);
            std::strncpy(d.UserName, "alice", sizeof d.UserName - 1);
            d.LockStatus = 1;
            cdb_set_body_row(r, d);
        } else if (q >= CDB_CHECK_OBJECT_LOCK_PROTO) {
            object_lock_row o{};
            std::strncpy(o.guid, "{00000000-0000-0000-0000-000000000001}", sizeof o.guid - 1);
            std::strncpy(o.client_name, "alice", sizeof o.client_name - 1);
            cdb_set_body_row(r, o);
        } else if (q == CDB_LOCK_OBJECT || q == CDB_UNLOCK_OBJECT || q == CDB_CONFIRM_OBJECT_LOCK) {
            cdb_set_body_object_id(r, 7);
        } else if (q == CDB_KICK_CLIENT || q == CDB_GET_NEXT_MULTIUSER || q == CDB_SAVE_COMPLETED) {
            multiusers_row u{};
            std::strncpy(u.UserName, "bob", sizeof u.UserName - 1);
            cdb_set_body_row(r, u);
        }
        bytes seed = with_length(r, sizeof r);
        // The same request a second time, from the other client, then an unlock-like repeat.
        bytes again = with_length(r, sizeof r);
        again[0] = static_cast<uint8_t>(again[0] | 1);
        seed.insert(seed.end(), again.begin(), again.end());
        put("fuzz_handle_request", "q" + std::to_string(q), seed);
    }
    put("fuzz_handle_request", "short", with_length(request(CDB_GET_MAXID, "m"), 40));
    put("fuzz_handle_request", "long", with_length(request(CDB_TEST_CONNECTION, ""), 512));
}

void message_seeds() {
    const auto frame = [](uint32_t kind, const char* to, const char* from, const void* payload,
                          uint32_t length) {
        return qm_fuzz::make_frame(kind, to, from, 1, static_cast<const uint8_t*>(payload), length);
    };
    cdb_request maxid = request(CDB_GET_MAXID, "model");
    cdb_request lock = request(CDB_LOCK_DATABASE, "model");
    bytes whole{0};
    append(whole, frame(wrl::kKindIdentify, "", "alice", nullptr, 0));
    append(whole, frame(wrl::kKindNormal, "alice", "alice", &maxid, sizeof maxid));
    append(whole, frame(wrl::kKindNormal, "alice", "alice", &lock, sizeof lock));
    append(whole, frame(wrl::kKindNormal, "bob", "alice", "hello", 5));
    append(whole, frame(wrl::kKindDisconnect, "", "alice", nullptr, 0));
    put("fuzz_message_server", "session", whole);
    bytes pieces = whole;
    pieces[0] = 7;
    put("fuzz_message_server", "session_in_pieces", pieces);
    bytes unnamed{0};
    append(unnamed, frame(wrl::kKindNormal, "alice", "", &maxid, sizeof maxid));
    append(unnamed, frame(wrl::kKindStatus, "", "", nullptr, 0));
    put("fuzz_message_server", "unidentified", unnamed);
    bytes foreign{0};
    bytes id = frame(wrl::kKindIdentify, "", "alice", nullptr, 0);
    id[2] = 17;  // another protocol version
    append(foreign, id);
    put("fuzz_message_server", "other_version", foreign);
}

// Query frames as the sender writes them: empty, every item type, a mismatch header that
// announces items it does not carry, and a large item.
void query_seeds() {
    const auto header = [](uint32_t kind, uint32_t status, uint32_t count) {
        wrl_query q{};
        q.kind = kind;
        q.status = status;
        q.count = count;
        q.word1 = 1;
        bytes b(WRL_QUERY_HEADER_SIZE);
        wrl::EncodeQueryHeader(q, b.data());
        return b;
    };
    const auto item = [](bytes* to, uint32_t table, uint32_t type, const bytes& data) {
        wrl_query_item i{};
        i.table = table;
        i.type = type;
        i.length = static_cast<uint32_t>(data.size());
        uint8_t head[WRL_QUERY_ITEM_HEADER_SIZE];
        wrl::EncodeItemHeader(i, head);
        to->insert(to->end(), head, head + sizeof head);
        append(*to, data);
    };
    const auto whole = [](const bytes& frame) {  // first byte 0: all at once
        bytes b{0};
        append(b, frame);
        return b;
    };
    put("fuzz_query_receiver", "empty", whole(header(0, 0, 0)));
    bytes all = whole(header(0, 0, 8));
    for (uint32_t t = 0; t < 5; ++t) {
        item(&all, static_cast<uint32_t>(qm_fuzz::kMixedTable), t,
             bytes(64, static_cast<uint8_t>(t)));
    }
    item(&all, 0, WRL_QUERY_IDENTIFY, bytes(WRL_IDENTIFY_WIRE_SIZE, 0x41));
    item(&all, 0, WRL_QUERY_WORDS, bytes(WRL_WORDS_SIZE, 2));
    item(&all, 0, WRL_QUERY_BYTES, {});
    put("fuzz_query_receiver", "every_type", all);
    bytes pieces = all;
    pieces[0] = 5;
    put("fuzz_query_receiver", "every_type_in_pieces", pieces);
    put("fuzz_query_receiver", "version_mismatch", whole(header(1, 13, 4)));
    bytes large = whole(header(0, 0, 2));
    item(&large, 0, WRL_QUERY_BYTES, bytes(9000, 0x5a));
    item(&large, 0, WRL_QUERY_BYTES, bytes(3, 1));
    put("fuzz_query_receiver", "large_item", large);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    s_root = argv[1];
    address_seeds();
    string_seeds();
    command_line_seeds();
    readtable_seeds();
    readtable_domain_seeds();
    database_seeds();
    request_seeds();
    message_seeds();
    query_seeds();
    return 0;
}
