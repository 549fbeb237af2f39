// Crash safety of the id counters: clients draw object ids, GA ids and multi-drawing ids
// on a few models as fast as they can while the real qm_server is killed with SIGKILL at
// random moments and restarted on the same folder. No value may ever be handed out twice
// for the same model and counter, and every kill must leave a database file that reads
// back with counters at least as far as every value a client has seen.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "client/qm_client.h"
#include "outside/table_store.h"
#include "server/server_database.h"
#include "server/server_tables.h"
#include "tests/server_process.h"

namespace {

const char* const kModels[] = {"alpha", "beta", "gamma"};
constexpr uint32_t kCounters[] = {CDB_GET_MAXID, CDB_GET_GA_ID, CDB_GET_MULTI_DRAWING_ID};

// Every value a client was handed, by model and counter.
struct handed_out_s {
    std::mutex mutex;
    std::vector<int32_t> values[3][3];
    size_t total = 0;
};

// One allocating client: connects under a fresh name each time (a name still held by a
// dying connection never blocks it), allocates until the connection breaks, repeats.
void allocate_until_stopped(int index, const std::string& address, const std::atomic<bool>& stop,
                            handed_out_s& out, std::atomic<int>& refused) {
    std::mt19937 random(static_cast<unsigned>(index) * 7919u + 1u);
    qm::client_c client;
    for (int connection = 0; !stop.load();) {
        if (!client.connected() &&
            client.connect(address,
                           "alloc" + std::to_string(index) + "_" + std::to_string(++connection),
                           1000) != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const int model = static_cast<int>(random() % 3), counter = static_cast<int>(random() % 3);
        // The client claims no ids of its own: every value comes from the server's counters.
        cdb_request r = qm::make_request(kCounters[counter], kModels[model]);
        common_model_row row{};
        std::strncpy(row.name, kModels[model], sizeof row.name - 1);
        row.db_number = model + 1;
        cdb_set_body_row(r, row);
        if (client.call(r, 2000) != 0) {
            client.close();  // broken by a kill: reconnect to the next server
        } else if (r.error != 0) {
            refused.fetch_add(1);
        } else {
            std::lock_guard<std::mutex> lock(out.mutex);
            out.values[model][counter].push_back(r.result);
            ++out.total;
        }
    }
}

// The counters of a database file as the server reads them at start-up, by model (in
// kModels order; zero when absent). False when the file is refused.
bool read_counters(const std::string& path, common_model_row rows[3]) {
    static const bool tables = (srv_declare_tables(), srv_create_tables() == 0);
    if (!tables) return false;
    dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
    dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101));
    FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) return false;
    const int result = read_database_stream(stream, path.c_str());
    std::fclose(stream);
    if (result != 0) return false;
    dbv_cursorstruct* cursor =
        dbv_opencursor_all(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
    common_model_row row{};
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0)
        for (int m = 0; m < 3; ++m)
            if (std::strcmp(row.name, kModels[m]) == 0) rows[m] = row;
    dbv_closecursor(cursor);
    return true;
}

// `client_count` clients allocate while the server is killed `kill_count` times.
void allocate_across_kills(int client_count, int kill_count) {
    qm_e2e::server_c server;
    ASSERT_TRUE(server.start()) << server.log();
    handed_out_s out;
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < client_count; ++i)
        clients.emplace_back(allocate_until_stopped, i, server.address(), std::cref(stop),
                             std::ref(out), std::ref(refused));

    std::mt19937 random(20261208u);
    int kills = 0, kills_leaving_temporary = 0;
    size_t previous_total = 0;
    for (; kills < kill_count; ++kills) {
        // Mostly short runs, so kills land during saves; now and then one right at start-up.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(random() % 8 == 0 ? random() % 5 : 30 + random() % 270));
        server.process().kill_and_wait(SIGKILL);
        // From the second save of a run on, the temporary file holds the previous counters
        // (or a half-written rewrite of them when the kill came during a save). The next
        // server starts with it, without it, or with a link to the database file in its
        // place: none of these may ever be written through into the database file.
        const std::string temporary = server.database_file() + ".tmp";
        if (std::filesystem::exists(std::filesystem::symlink_status(temporary)))
            ++kills_leaving_temporary;
        if (kills % 3 != 1) std::filesystem::remove(temporary);
        if (kills % 3 == 2 && std::filesystem::exists(server.database_file()))
            std::filesystem::create_symlink(server.database_file(), temporary);
        const std::string log = server.log();
        EXPECT_EQ(log.find("corrupted"), std::string::npos) << "run " << kills << ":\n" << log;
        EXPECT_EQ(log.find("Write failed"), std::string::npos) << "run " << kills << ":\n" << log;
        std::lock_guard<std::mutex> lock(out.mutex);
        common_model_row rows[3] = {};
        if (out.total > 0) {
            ASSERT_TRUE(read_counters(server.database_file(), rows))
                << "kill " << kills << " left no readable file";
        }
        for (int m = 0; out.total > 0 && m < 3; ++m) {
            // Every value a client has seen was saved before its reply left the server.
            const int32_t saved[3] = {rows[m].maxid, rows[m].ga_id, rows[m].multi_drawing_id};
            for (int c = 0; c < 3; ++c) {
                const auto& v = out.values[m][c];
                EXPECT_GE(saved[c], v.empty() ? 0 : *std::max_element(v.begin(), v.end()))
                    << kModels[m] << " counter " << c << " after kill " << kills;
            }
        }
        ASSERT_TRUE(server.restart()) << "restart " << kills << " failed:\n" << server.log();
        if (kills % 10 == 9) {  // progress, not just failed reconnects
            EXPECT_GT(out.total, previous_total) << "no allocation in the last ten runs";
            previous_total = out.total;
        }
    }
    stop.store(true);
    for (auto& t : clients) t.join();
    EXPECT_EQ(server.log().find("corrupted"), std::string::npos) << server.log();
    EXPECT_EQ(refused.load(), 0);
    ASSERT_GT(out.total, 250u) << "too few allocations to mean anything";
    for (int m = 0; m < 3; ++m) {
        for (int c = 0; c < 3; ++c) {
            std::vector<int32_t>& v = out.values[m][c];
            std::sort(v.begin(), v.end());
            const auto twice = std::adjacent_find(v.begin(), v.end());
            EXPECT_EQ(twice, v.end())
                << kModels[m] << " counter " << c << " handed out " << *twice << " twice";
            // Object ids come in blocks of 100: two blocks may never overlap.
            for (size_t i = 1; c == 0 && i < v.size(); ++i)
                ASSERT_GE(v[i] - v[i - 1], 100)
                    << kModels[m] << " blocks " << v[i - 1] << " and " << v[i];
        }
    }
    std::printf(
        "crash safety, %d clients: %d kills survived (%d left a temporary file), %zu ids "
        "handed out\n",
        client_count, kills, kills_leaving_temporary, out.total);
}

TEST(CrashSafety, CountersNeverRepeatAcrossKills) {
    allocate_across_kills(4, 50);
}

// Many clients at once: one save covers the allocations of a whole batch of them, and a kill
// before that save must not let any of their replies out.
TEST(CrashSafety, ManyClientsAllocatingAtOnceNeverShareAnId) {
    allocate_across_kills(32, 25);
}

}  // namespace
