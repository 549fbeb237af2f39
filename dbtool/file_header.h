// The header with which qm_dbtool's database files begin: the description, the flags and
// the tables with their full definitions, so that any such file can be loaded without the
// program that wrote it knowing its tables beforehand. Little-endian:
//   "QMDT"  version (1)  body length  CRC-32 of the body  body
// body: description (u32 length + bytes), flags (u32: 1 domain, 2 event containers,
// 4 incremental, 8 dbv ids), table count (u32), per table: number (i32), name, framed
// (u8), column count (u32) and per column name, type (i32), size (i32); key column count
// (u32) and names; tag count (u32) and per tag its name and column. Texts are a u32 length
// and the bytes. The body is at most 16 MiB.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "dbtool/description.h"

namespace dbtool {

enum HeaderFlags : uint32_t {
    kFlagDomain = 1,
    kFlagEventContainers = 2,
    kFlagIncremental = 4,
    kFlagDbvIds = 8,
};

struct FileHeader {
    std::string description;
    uint32_t flags = 0;
    std::vector<TableDescription> tables;  // without rows
};

// Writes the header at the stream's position. False when writing fails.
bool WriteFileHeader(FILE* file, const FileHeader& header);

// Reads a header, the stream standing at its start; on success the stream stands just
// behind it. The bytes are untrusted: every count and length is checked against the body
// that was read, and the body against its length and CRC. False with `error` otherwise.
bool ReadFileHeader(FILE* file, FileHeader& header, std::string& error);

}  // namespace dbtool
