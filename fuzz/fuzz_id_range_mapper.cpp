// Fuzz target: the id range mapper readers on any bytes. After a first byte 'F' the rest is
// written gzip-compressed into a temporary file and read as a whole mapper file
// (IdRangeMapper_c::ReadFromFile: header, old maximum id, body); after any other first byte
// it is read as a mapper body (dbv_idrangemapper_read on a memory stream). The file path
// costs a file and a compressor per input, so it is taken only when asked for.
// Invariants: a refused read leaves the mapper's runs (and the old maximum id) as they
// were; an accepted body is written back and read again unchanged; an accepted file sets
// the old maximum id from its bytes 13 to 16. libFuzzer's memory limits catch allocations
// sized from the input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dbv/id_range_mapper.h"
#include "outside/store_domain.h"
#include "outside/tool_file.h"

namespace {

constexpr int32_t kProbeOld = 1;  // the run every mapper starts with: old ids 1 ... 4
constexpr int32_t kProbeCount = 4;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_id_range_mapper: %s\n", what);
    std::abort();
}

std::string s_dir;
std::string s_file;

void RemoveDir() {
    if (s_dir.empty()) return;
    unlink(s_file.c_str());
    rmdir(s_dir.c_str());
}

dbv_domain_s* Domain() {
    static dbv_domain_s* domain = nullptr;
    if (domain == nullptr) {
        if (dbv_createdomain(&domain) != 0) Fail("cannot create the domain");
        char pattern[] = "/tmp/fuzz_id_range_mapper_XXXXXX";
        if (mkdtemp(pattern) == nullptr) Fail("cannot create the temporary folder");
        s_dir = pattern;
        s_file = s_dir + "/mapper.idr";
        std::atexit(RemoveDir);
    }
    return domain;
}

// A stream over the bytes; fmemopen refuses an empty buffer, so empty input reads /dev/null.
FILE* OpenBytes(const uint8_t* data, size_t size) {
    if (size == 0) return std::fopen("/dev/null", "rb");
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

std::string Body(dbv_idrangemapper_s* mapper) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    if (out == nullptr) Fail("open_memstream");
    if (dbv_idrangemapper_write(out, mapper) != 0) Fail("a mapper cannot be written");
    std::fclose(out);
    std::string bytes(buffer, size);
    std::free(buffer);
    return bytes;
}

bool SameGuid(const dbv_guid_s& a, const dbv_guid_s& b) {
    return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

void FuzzBody(const uint8_t* data, size_t size) {
    dbv_domain_s* domain = Domain();
    int32_t newFirst = 0;
    dbv_idrangemapper_s* mapper = nullptr;
    if (dbv_newidrange(domain, kProbeCount, &newFirst) != 0 ||
        dbv_createidrangemapper(&mapper) != 0 ||
        dbv_idrangemapper_map(mapper, domain, kProbeOld, newFirst, kProbeCount) != 0)
        Fail("cannot set up the mapper");
    dbv_guid_s before{};
    if (dbv_idrangemapper_idtoguid(mapper, kProbeOld, &before) != 0) Fail("probe not mapped");

    FILE* stream = OpenBytes(data, size);
    if (stream == nullptr) Fail("cannot open the input");
    const int result = dbv_idrangemapper_read(stream, mapper);
    std::fclose(stream);

    if (result != 0) {
        dbv_guid_s after{};
        if (dbv_idrangemapper_idtoguid(mapper, kProbeOld, &after) != 0 || !SameGuid(before, after))
            Fail("a refused body changed the mapper");
        if (dbv_idrangemapper_idtoguid(mapper, kProbeOld + kProbeCount, &after) == 0)
            Fail("a refused body added a run");
    } else {
        const std::string written = Body(mapper);
        dbv_idrangemapper_s* again = nullptr;
        if (dbv_createidrangemapper(&again) != 0) Fail("cannot create a mapper");
        FILE* back = fmemopen(const_cast<char*>(written.data()), written.size(), "rb");
        if (back == nullptr || dbv_idrangemapper_read(back, again) != 0)
            Fail("a written body cannot be read back");
        std::fclose(back);
        if (Body(again) != written) Fail("a body read back is written differently");
        dbv_deleteidrangemapper(again);
    }
    dbv_deleteidrangemapper(mapper);
}

void FuzzFile(const uint8_t* data, size_t size) {
    dbv::IdRangeMapper_c mapper(Domain());
    if (!mapper.AddRange(kProbeOld, kProbeOld + kProbeCount)) Fail("cannot add the probe run");
    const int32_t probeNewId = mapper.TryGetNewId(kProbeOld);

    FILE* file = tool_fopen(s_file.c_str(), "wbz");
    if (file == nullptr) Fail("cannot write the temporary file");
    if (size > 0 && tool_fwrite(data, 1, size, file) != size) Fail("short temporary file");
    if (tool_fclose(file) != 0) Fail("cannot close the temporary file");

    if (!mapper.ReadFromFile(s_file.c_str())) {
        if (mapper.GetOldMaxId() != kProbeOld + kProbeCount ||
            mapper.TryGetNewId(kProbeOld) != probeNewId)
            Fail("a refused file changed the mapper");
        return;
    }
    if (size < 17) Fail("a file without an old maximum id was accepted");
    const int32_t maxId = static_cast<int32_t>(
        static_cast<uint32_t>(data[13]) | static_cast<uint32_t>(data[14]) << 8 |
        static_cast<uint32_t>(data[15]) << 16 | static_cast<uint32_t>(data[16]) << 24);
    if (mapper.GetOldMaxId() != maxId) Fail("the old maximum id is not the file's");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] == 'F') {
        FuzzFile(data + 1, size - 1);
    } else {
        FuzzBody(data + 1, size - 1);
    }
    return 0;
}
