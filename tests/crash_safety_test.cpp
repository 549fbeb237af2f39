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
#include <map>
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

constexpr int kClients = 4;
constexpr int kKills = 50;
const char* const kModels[] = {"alpha", "beta", "gamma"};
constexpr uint32_t kCounters[] = {CDB_GET_MAXID, CDB_GET_GA_ID, CDB_GET_MULTI_DRAWING_ID};

int counter_index(uint32_t query) {
  return query == CDB_GET_MAXID ? 0 : query == CDB_GET_GA_ID ? 1 : 2;
}

// Every value a client was handed, by model and counter, in the order received.
class handed_out_c {
 public:
  void add(int model, int counter, int32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_[model][counter].push_back(value);
  }
  std::vector<int32_t> values(int model, int counter) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_[model][counter];
  }
  int32_t highest(int model, int counter) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& v = values_[model][counter];
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
  }
  size_t total() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& m : values_)
      for (const auto& c : m) n += c.size();
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int32_t> values_[3][3];
};

// One allocating client: connects (under a fresh name each time, so a name still held by
// a dying connection never blocks it), allocates until the connection breaks, repeats.
void allocate_until_stopped(int index, const std::string& address, const std::atomic<bool>& stop,
                            handed_out_c& out, std::atomic<int>& refused) {
  std::mt19937 random(static_cast<unsigned>(index) * 7919u + 1u);
  qm::client_c client;
  int connection = 0;
  while (!stop.load()) {
    if (!client.connected()) {
      const std::string name = "alloc" + std::to_string(index) + "_" + std::to_string(++connection);
      if (client.connect(address, name, 1000) != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
    }
    const int model = static_cast<int>(random() % 3);
    const uint32_t query = kCounters[random() % 3];
    // The counters row names the model; the client claims no ids of its own, so every
    // value comes from the server's memory of the counters alone.
    cdb_request r = qm::make_request(query, kModels[model]);
    common_model_row counters{};
    std::strncpy(counters.name, kModels[model], sizeof counters.name - 1);
    counters.db_number = model + 1;
    cdb_set_body_row(r, counters);
    const int status = client.call(r, 2000);
    if (status != 0) {
      client.close();  // broken by a kill: reconnect to the next server
      continue;
    }
    if (r.error != 0) {
      refused.fetch_add(1);
      continue;
    }
    out.add(model, counter_index(query), r.result);
  }
  client.close();
}

// The counters of a database file as the server would read them at start-up. False when
// the file is refused.
bool read_counters(const std::string& path, std::map<std::string, common_model_row>* rows) {
  static bool tables = false;
  if (!tables) {
    srv_declare_tables();
    if (srv_create_tables() != 0) return false;
    tables = true;
  }
  dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
  dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101));
  FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) return false;
  const int result = read_database_stream(stream, path.c_str());
  std::fclose(stream);
  if (result != 0) return false;
  dbv_cursorstruct* cursor = dbv_opencursor_all(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
  common_model_row row{};
  while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) rows->emplace(row.name, row);
  dbv_closecursor(cursor);
  return true;
}

TEST(CrashSafety, CountersNeverRepeatAcrossKills) {
  qm_e2e::server_c server;
  ASSERT_TRUE(server.start()) << server.log();
  const std::string address = server.address();

  handed_out_c out;
  std::atomic<bool> stop{false};
  std::atomic<int> refused{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i)
    clients.emplace_back(allocate_until_stopped, i, address, std::cref(stop), std::ref(out),
                         std::ref(refused));

  std::mt19937 random(20261208u);
  int kills = 0;
  int kills_during_save = 0;
  size_t previous_total = 0;
  for (; kills < kKills; ++kills) {
    // Mostly short runs, so kills land during saves; now and then one right at start-up.
    const int pause_ms = random() % 8 == 0 ? static_cast<int>(random() % 5)
                                           : 30 + static_cast<int>(random() % 270);
    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    server.process().kill_and_wait(SIGKILL);
    // A temporary file left behind means the kill landed inside a save (it is removed so
    // the next kill is judged on its own; the server would overwrite it anyway).
    const std::string temporary = server.database_file() + ".tmp";
    if (qm_e2e::file_exists(temporary)) {
      ++kills_during_save;
      std::remove(temporary.c_str());
    }

    const std::string log = server.log();
    EXPECT_EQ(log.find("corrupted"), std::string::npos) << "run " << kills << ":\n" << log;
    EXPECT_EQ(log.find("Write failed"), std::string::npos) << "run " << kills << ":\n" << log;
    if (out.total() > 0) {
      std::map<std::string, common_model_row> rows;
      ASSERT_TRUE(read_counters(server.database_file(), &rows))
          << "kill " << kills << " left no readable database file";
      for (int m = 0; m < 3; ++m) {
        const auto found = rows.find(kModels[m]);
        const common_model_row row = found != rows.end() ? found->second : common_model_row{};
        // Every value a client has seen was saved before its reply left the server.
        EXPECT_GE(row.maxid, out.highest(m, 0)) << kModels[m] << " after kill " << kills;
        EXPECT_GE(row.ga_id, out.highest(m, 1)) << kModels[m] << " after kill " << kills;
        EXPECT_GE(row.multi_drawing_id, out.highest(m, 2)) << kModels[m] << " after kill " << kills;
      }
    }
    ASSERT_TRUE(server.restart()) << "restart " << kills << " failed:\n" << server.log();
    if (kills % 10 == 9) {
      // The clients must be making progress, not just failing to reconnect.
      const size_t total = out.total();
      EXPECT_GT(total, previous_total) << "no allocation in the last ten runs";
      previous_total = total;
    }
  }
  stop.store(true);
  for (auto& t : clients) t.join();
  EXPECT_EQ(server.log().find("corrupted"), std::string::npos) << server.log();

  EXPECT_EQ(kills, kKills);
  EXPECT_EQ(refused.load(), 0);
  ASSERT_GT(out.total(), 250u) << "too few allocations to mean anything";
  for (int m = 0; m < 3; ++m) {
    for (int c = 0; c < 3; ++c) {
      std::vector<int32_t> v = out.values(m, c);
      std::sort(v.begin(), v.end());
      const auto twice = std::adjacent_find(v.begin(), v.end());
      EXPECT_EQ(twice, v.end()) << kModels[m] << " counter " << c << " handed out " << *twice
                                << " twice";
      // Object ids come in blocks of 100: two blocks may never overlap.
      for (size_t i = 1; c == 0 && i < v.size(); ++i)
        ASSERT_GE(v[i] - v[i - 1], 100) << kModels[m] << " blocks " << v[i - 1] << " and " << v[i];
    }
  }
  std::printf("crash safety: %d kills survived (%d inside a save), %zu ids handed out\n", kills,
              kills_during_save, out.total());
}

}  // namespace
