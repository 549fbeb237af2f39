// qm_bench: drives a multiuser server (or, with --reference, a bare epoll server in this
// process that answers the same frames without doing any work) with N identified
// connections and prints requests per second and round-trip latency percentiles.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "client/bench_load.h"
#include "client/bench_reference_server.h"
#include "wirelay/address.h"

namespace {

const char kUsage[] =
    "usage: qm_bench [--server ADDRESS] [--reference] [--connections N] [--mix MIX]\n"
    "                [--duration SECONDS] [--warmup SECONDS] [--json]\n"
    "  --server ADDRESS   server to load (default $QM_SERVER, else tcpip:localhost,1238)\n"
    "  --reference        load a bare epoll server started in this process instead; it\n"
    "                     answers the same frames with no work: the machine's limit\n"
    "  --connections N    identified connections, one request in flight each (default 1)\n"
    "  --mix MIX          test (test connection), lock (lock/unlock of an object),\n"
    "                     id (ga id allocation, saves the file) or mixed (default test)\n"
    "  --duration S       measured seconds (default 3); --warmup S unmeasured (default 0.5)\n"
    "  --json             print the summary as one JSON object instead of a text line\n";

bool parse_number(const char* text, double* out) {
    char* end = nullptr;
    *out = std::strtod(text, &end);
    return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    qm::bench_config config;
    const char* env = std::getenv("QM_SERVER");
    std::string address = (env != nullptr && env[0] != '\0') ? env : "tcpip:localhost,1238";
    bool reference = false, json = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        double number = 0;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--reference") {
            reference = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--server" && has_value) {
            address = argv[++i];
        } else if (arg == "--mix" && has_value) {
            if (!qm::parse_bench_mix(argv[++i], &config.mix)) {
                std::fprintf(stderr, "qm_bench: unknown mix '%s'\n%s", argv[i], kUsage);
                return 2;
            }
        } else if ((arg == "--connections" || arg == "--duration" || arg == "--warmup") &&
                   has_value && parse_number(argv[i + 1], &number) && number >= 0 &&
                   number <= 4096) {
            ++i;
            if (arg == "--connections")
                config.connections = static_cast<int>(number);
            else if (arg == "--duration")
                config.duration_s = number;
            else
                config.warmup_s = number;
        } else {
            std::fprintf(stderr, "qm_bench: bad argument '%s'\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (config.connections < 1 || config.duration_s <= 0) {
        std::fprintf(stderr, "qm_bench: need at least one connection and a positive duration\n");
        return 2;
    }
    qm::reference_server_c reference_server;
    std::string error;
    if (reference) {
        if (!reference_server.start(&error)) {
            std::fprintf(stderr, "qm_bench: %s\n", error.c_str());
            return 1;
        }
        address = "tcpip:127.0.0.1," + std::to_string(reference_server.port());
        config.host = "127.0.0.1";
        config.port = reference_server.port();
    } else {
        wrl_address parsed;
        if (wrl_net_parseaddress(address.c_str(), &parsed) != 0) {
            std::fprintf(stderr, "qm_bench: bad server address '%s'\n", address.c_str());
            return 2;
        }
        config.host = parsed.host;
        config.port = parsed.port;
    }
    qm::bench_result result;
    if (!qm::run_bench(config, &result, &error)) {
        std::fprintf(stderr, "qm_bench: %s (%s)\n", error.c_str(), address.c_str());
        return 3;
    }
    const char* target = reference ? "reference" : "server";
    if (json) {
        std::printf(
            "{\"target\":\"%s\",\"address\":\"%s\",\"mix\":\"%s\",\"connections\":%d,"
            "\"seconds\":%.2f,\"requests\":%llu,\"rejected\":%llu,"
            "\"requests_per_second\":%.0f,\"p50_us\":%.1f,\"p99_us\":%.1f}\n",
            target, address.c_str(), qm::bench_mix_name(config.mix), config.connections,
            result.seconds, static_cast<unsigned long long>(result.requests),
            static_cast<unsigned long long>(result.rejected), result.requests_per_second,
            result.p50_us, result.p99_us);
    } else {
        std::printf(
            "%s %s mix=%s connections=%d seconds=%.2f requests=%llu rejected=%llu "
            "rps=%.0f p50=%.1fus p99=%.1fus\n",
            target, address.c_str(), qm::bench_mix_name(config.mix), config.connections,
            result.seconds, static_cast<unsigned long long>(result.requests),
            static_cast<unsigned long long>(result.rejected), result.requests_per_second,
            result.p50_us, result.p99_us);
    }
    return 0;
}
