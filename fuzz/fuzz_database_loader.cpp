// Fuzz target: the database loader (dbv::LoadDatabase_c::Load) with qm_dbtool's load
// callback on any bytes, written to a file in a private folder first. Invariants: no crash,
// hang or allocation sized from the input; the result is one of the three load results and
// the file is closed again (the folder can be emptied after every input).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dbtool/load_callback.h"
#include "dbv/domain_and_events.h"
#include "dbv/domain_registry.h"
#include "dbv/load_database.h"
#include "outside/assert_log.h"
#include "outside/log_printf.h"
#include "outside/table_store.h"

namespace {

std::string s_dir;
std::string s_file;

void remove_dir() {
    unlink(s_file.c_str());
    rmdir(s_dir.c_str());
}

void set_up() {
    if (!s_dir.empty()) return;
    char pattern[] = "/tmp/fuzz_loader_XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    s_dir = pattern;
    s_file = s_dir + "/input.db";
    std::atexit(remove_dir);
    setLogSink([](int, const char*) {});
    mainSetMaxAssertCount(0);
    dbtool::RegisterLoadCallback();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    set_up();
    FILE* file = std::fopen(s_file.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    mainResetAssertions();

    // A fresh database per input: tables of one input never meet those of another.
    dbd_dropvirtualdatabase("FuzzLoad");
    if (!dbv::CreateVirtualDatabase("FuzzLoad")) std::abort();
    dbv::DomainAndEvents_c container;
    dbv::LoadDatabase_c loader(&container);
    dbv::DatabaseHeader_c header;
    int32_t failed = -1;
    dbv_timeidmapping_s* mapping = nullptr;
    const auto result =
        loader.Load(dbtool::kLoadCallbackName, s_file, true, header, failed, &mapping);
    if (result < dbv::LoadDatabase_c::LOAD_FAILED || result > dbv::LoadDatabase_c::LOAD_COMPLETE) {
        std::abort();
    }
    if (mapping != nullptr) std::abort();  // the loader never makes one
    container.Clear(true);
    return 0;
}
