// Test fixture of the domain tables: the store fixture's database with a domain, helpers
// that convert the lock table into a domain table and read rows with their time ids, and
// an in-memory stream.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "outside/store_domain_tables.h"
#include "outside/table_test_tables.h"

namespace domain_table_test {

using table_store_test::Ids;
using table_store_test::lock_row;
using table_store_test::LockRow;

// A lock row as a cursor returned it, with its time ids.
struct Seen {
    int32_t object_id;
    int32_t creation;
    int32_t modification;
    bool operator==(const Seen&) const = default;
};

// The lock table's domain fields: object_id (field 2) and locked (field 3).
inline const dbv_domainfieldspec_s* lock_fields(dbv_domain_s* domain) {
    static dbv_domainfieldspec_s specs[3];
    specs[0] = {2, 0, domain};
    specs[1] = {3, 10, domain};
    specs[2] = {-1, 0, nullptr};
    return specs;
}

class DomainTableTest : public table_store_test::StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_EQ(0, dbv_createdomain(&domain_));
        dbv_setworkmode(DBV_WORKMODE_LIVE);
    }
    void TearDown() override {
        dbv_setworkmode(DBV_WORKMODE_LIVE);
        StoreTest::TearDown();
        dbv_deletedomain(domain_);
    }

    // Converts the lock table (with `count` rows) into a domain table without a callback.
    void make_domain_table(int count = 0) {
        insert_locks(count);
        ASSERT_EQ(0,
                  dbv_converttable_domain(lock_, domain_, lock_fields(domain_), nullptr, nullptr));
    }
    int32_t new_id() {
        int32_t id = 0;
        EXPECT_EQ(0, dbv_newid(domain_, &id));
        return id;
    }
    // Every row an all-rows cursor returns in the current work mode, with its time ids.
    std::vector<Seen> scan(dbv_tablestruct* table = nullptr) {
        dbv_cursorstruct* cursor = dbv_opencursor_all(table != nullptr ? table : lock_);
        std::vector<Seen> seen;
        LockRow row;
        while (dbv_fetch(cursor, &row) == 0) {
            Seen s{row.object_id, -1, -1};
            EXPECT_EQ(0, dbv_getcursortime(cursor, &s.creation, &s.modification));
            seen.push_back(s);
        }
        dbv_closecursor(cursor);
        return seen;
    }
    // The time ids of the live lock row ("m", id).
    Seen times_of(int32_t object_id) {
        const LockRow key = lock_row("m", object_id);
        dbv_cursorstruct* cursor = dbv_opencursor(lock_primary_, &key);
        LockRow row;
        Seen s{object_id, -1, -1};
        if (dbv_fetch(cursor, &row) == 0) dbv_getcursortime(cursor, &s.creation, &s.modification);
        dbv_closecursor(cursor);
        return s;
    }

    dbv_domain_s* domain_ = nullptr;
};

// Bytes written through a FILE and read back through another.
class MemoryStream {
  public:
    MemoryStream() : out_(open_memstream(&buffer_, &size_)) {}
    ~MemoryStream() {
        if (out_ != nullptr) std::fclose(out_);
        std::free(buffer_);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    FILE* out() { return out_; }
    // Everything written so far.
    std::string bytes() {
        std::fflush(out_);
        return std::string(buffer_, size_);
    }

  private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* out_;
};

// A stream that reads `bytes` (which must outlive it).
inline FILE* reader(std::string& bytes) {
    if (bytes.empty()) return std::tmpfile();  // fmemopen refuses an empty buffer
    return fmemopen(bytes.data(), bytes.size(), "rb");
}

}  // namespace domain_table_test
