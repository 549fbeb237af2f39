// The id range mapper's file: the 13 header bytes "IdRangeMapper", the old maximum id as a
// signed 32-bit little-endian value, then the table store's self-checking mapper body. The
// file goes through the base tools' gzip streams ("wbz"/"rbz"). A file is untrusted: it is
// read completely into a new store mapper before anything of the live mapper changes.
#include <cstring>

#include "dbv/id_range_mapper.h"
#include "dbv/id_range_mapper_internal.h"
#include "outside/assert_log.h"
#include "outside/tool_file.h"

namespace dbv {

namespace {

constexpr const char* kSource = "dbv_id_range_mapper";
constexpr char kHeaderText[] = "IdRangeMapper";
constexpr size_t kHeaderLength = sizeof(kHeaderText) - 1;
static_assert(kHeaderLength == 13);

void EncodeInt32(int32_t value, unsigned char bytes[4]) {
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

int32_t DecodeInt32(const unsigned char bytes[4]) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    }
    return static_cast<int32_t>(bits);
}

}  // namespace

bool IdRangeMapper_c::WriteToFile(const char* fileName) const {
    dbv_idrangemapper_s* storeMapper = StoreMapper();
    if (domain_ == nullptr || storeMapper == nullptr) {
        return false;
    }
    return WriteIdRangeMapperToFile(storeMapper, oldMaxId_, fileName);
}

bool IdRangeMapper_c::ReadFromFile(const char* fileName) {
    dbv_idrangemapper_s* live = StoreMapper();
    if (domain_ == nullptr || live == nullptr) {
        return false;
    }
    dbv_idrangemapper_s* incoming = nullptr;
    if (dbv_createidrangemapper(&incoming) != 0 || incoming == nullptr) {
        QM_ASSERT(!"Creating id range mapper failed!", kSource);
        return false;
    }
    int32_t readMaxId = 0;
    if (!ReadIdRangeMapperFromFile(incoming, &readMaxId, fileName)) {
        dbv_deleteidrangemapper(incoming);
        return false;
    }
    // Every copy sees the new mapping. The old store mapper can fail to go only when its
    // handle is stale already, and then it holds nothing.
    mapper_->handle = incoming;
    dbv_deleteidrangemapper(live);
    oldMaxId_ = readMaxId;
    return true;
}

bool IdRangeMapper_c::WriteIdRangeMapperToFile(dbv_idrangemapper_s* mapper, int32_t oldMaxId,
                                               const char* fileName) const {
    if (mapper == nullptr || fileName == nullptr || fileName[0] == '\0') {
        return true;
    }
    FILE* file = tool_fopen(fileName, "wbz");
    if (file == nullptr) {
        return true;
    }
    unsigned char idBytes[4];
    EncodeInt32(oldMaxId, idBytes);
    if (tool_fwrite(kHeaderText, 1, kHeaderLength, file) == kHeaderLength &&
        tool_fwrite(idBytes, sizeof(idBytes), 1, file) == 1) {
        dbv_idrangemapper_write(file, mapper);
    }
    tool_fflush(file);
    tool_fclose(file);
    return true;
}

bool IdRangeMapper_c::ReadIdRangeMapperFromFile(dbv_idrangemapper_s* mapper, int32_t* oldMaxId,
                                                const char* fileName) const {
    if (mapper == nullptr || oldMaxId == nullptr || fileName == nullptr || fileName[0] == '\0') {
        return false;
    }
    FILE* file = tool_fopen(fileName, "rbz");
    if (file == nullptr) {
        return false;
    }
    bool ok = false;
    // Any 13 bytes are accepted as the header: files of other writers differ there.
    char header[kHeaderLength + 1] = {};
    unsigned char idBytes[4] = {};
    if (tool_fread(header, 1, kHeaderLength, file) != kHeaderLength) {
        QM_ASSERT(!"Reading header from id range mapper file failed", kSource);
    } else if (tool_fread(idBytes, sizeof(idBytes), 1, file) != 1) {
        QM_ASSERT(!"Reading old max id from id range mapper file failed", kSource);
    } else if (dbv_idrangemapper_read(file, mapper) == 0) {
        *oldMaxId = DecodeInt32(idBytes);
        ok = true;
    }
    tool_fclose(file);
    return ok;
}

}  // namespace dbv
