// What one load of a database file carries from step to step, shared by the loader's
// source files (load_database*.cpp) and by nobody else.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dbv/load_database.h"
#include "outside/store_domain_tables.h"

namespace dbv {

inline constexpr const char* kLoadSource = "dbv_load_database";

struct LoadDatabase_c::Session {
    Session() = default;
    ~Session() {
        if (domainHeader != nullptr) dbv_deletedomainheader(domainHeader);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::string* name = nullptr;
    const std::string* fileName = nullptr;
    FILE* file = nullptr;
    DatabaseHeader_c* header = nullptr;
    bool tryIds = false;
    // Made by the domain read; ties the tables' domain blocks to the domain.
    dbv_domainheader_s* domainHeader = nullptr;
    int32_t* failedTableIndex = nullptr;
    // The tables actually used: the header's, plus those a catalog names.
    std::vector<DatabaseTable_c> tables;
};

// Reads one 4-byte word in the machine's byte order; false at the end of the stream.
bool ReadLoadWord(FILE* file, uint32_t* word);

}  // namespace dbv
