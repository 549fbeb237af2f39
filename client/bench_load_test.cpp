// Tests of qm_bench's load loop and reference server, run against each other briefly:
// the loop completes requests, measures sensible latencies and reports a missing server.
#include "client/bench_load.h"

#include <gtest/gtest.h>

#include "client/bench_reference_server.h"

namespace {

TEST(BenchLoad, AgainstTheReferenceServer) {
    qm::reference_server_c reference;
    std::string error;
    ASSERT_TRUE(reference.start(&error)) << error;
    for (qm::bench_mix mix : {qm::bench_mix::test_connection, qm::bench_mix::mixed}) {
        qm::bench_config config;
        config.host = "127.0.0.1";
        config.port = reference.port();
        config.connections = 3;
        config.mix = mix;
        config.duration_s = 0.2;
        config.warmup_s = 0.05;
        qm::bench_result result;
        ASSERT_TRUE(qm::run_bench(config, &result, &error)) << error;
        EXPECT_GT(result.requests, 10u);
        EXPECT_EQ(result.rejected, 0u);
        EXPECT_GT(result.p50_us, 0.0);
        EXPECT_GE(result.p99_us, result.p50_us);
        EXPECT_NEAR(result.requests_per_second, result.requests / 0.2, 1.0);
    }
    reference.stop();
    reference.stop();  // a second stop is harmless
}

TEST(BenchLoad, MissingServerAndBadConfiguration) {
    qm::bench_mix mix;
    ASSERT_TRUE(qm::parse_bench_mix("lock", &mix));
    EXPECT_EQ(mix, qm::bench_mix::lock_unlock);
    ASSERT_TRUE(qm::parse_bench_mix("mixed", &mix));
    EXPECT_STREQ(qm::bench_mix_name(mix), "mixed");
    EXPECT_FALSE(qm::parse_bench_mix("fast", &mix));
    qm::reference_server_c reference;
    std::string error;
    ASSERT_TRUE(reference.start(&error));
    const int port = reference.port();
    reference.stop();
    qm::bench_config config;
    config.host = "127.0.0.1";
    config.port = port;
    qm::bench_result result;
    EXPECT_FALSE(qm::run_bench(config, &result, &error));
    EXPECT_NE(error.find("cannot connect"), std::string::npos) << error;
    config.connections = 0;
    EXPECT_FALSE(qm::run_bench(config, &result, &error));
    EXPECT_NE(error.find("connections"), std::string::npos);
}

}  // namespace
