// Fuzz target: qm_server's command line and QM_SERVER value. The input is split at zero
// bytes into up to five arguments; a sixth piece, when present, is the environment value.
// Whatever is accepted for a run must carry an address within the transport's limit.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "server/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size && pieces.size() <= 6; ++i) {
        if (data[i] == 0) {
            pieces.emplace_back();
        } else {
            pieces.back() += static_cast<char>(data[i]);
        }
    }
    if (pieces.size() > 6) pieces.resize(6);
    const bool has_env = pieces.size() == 6;
    std::vector<const char*> argv = {"qm_server"};
    for (size_t i = 0; i < pieces.size() && i < 5; ++i) argv.push_back(pieces[i].c_str());
    if (size == 0) argv.resize(1);
    const qm::server_options o = qm::parse_command_line(static_cast<int>(argv.size()), argv.data(),
                                                        has_env ? pieces[5].c_str() : nullptr);
    if (o.action == qm::server_action::run) {
        if (o.address.empty()) qm_fuzz::fail("run without an address");
        if (o.address.size() > qm::kMaxAddressLength)
            qm_fuzz::fail("address over the limit accepted");
    }
    if (o.action == qm::server_action::bad_arguments && o.error.empty())
        qm_fuzz::fail("bad arguments without an error text");
    return 0;
}
