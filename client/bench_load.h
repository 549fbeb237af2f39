// The load generator of qm_bench: N connections, each identified under its own name,
// each keeping exactly one request in flight over a raw socket, all driven by one epoll
// loop; it measures requests per second and the round-trip latency of every request
// (from its write to the end of its reply).
#pragma once

#include <cstdint>
#include <string>

namespace qm {

enum class bench_mix {
    test_connection,  // CDB_TEST_CONNECTION only
    lock_unlock,      // CDB_LOCK_OBJECT then CDB_UNLOCK_OBJECT of an object of its own
    id_allocation,    // CDB_GET_GA_ID (each one saves the database file)
    mixed,            // test, lock, unlock, ga id in turn
};

// "test", "lock", "id" or "mixed"; false for anything else.
bool parse_bench_mix(const std::string& text, bench_mix* mix);
const char* bench_mix_name(bench_mix mix);

struct bench_config {
    std::string host = "localhost";
    int port = 1238;
    int connections = 1;
    bench_mix mix = bench_mix::test_connection;
    double duration_s = 3.0;
    double warmup_s = 0.5;  // requests before this are not counted
    int timeout_ms = 5000;  // no progress for this long ends the run with an error
};

struct bench_result {
    uint64_t requests = 0;  // completed during the measured interval
    uint64_t rejected = 0;  // acknowledgements with a non-zero status
    double seconds = 0;     // length of the measured interval
    double requests_per_second = 0;
    double p50_us = 0;
    double p99_us = 0;
};

// Runs the load. Returns false with a readable `error` when a connection cannot be made
// or identified, breaks, or stops answering.
bool run_bench(const bench_config& config, bench_result* result, std::string* error);

}  // namespace qm
