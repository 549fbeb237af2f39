// Process-wide settings of the domain support: the current virtual database's name (on
// which the registry's "Current" functions act) and whether a test database is active.
// Not thread-safe: one caller at a time, like the registry.
#pragma once

#include <string>

#include "dbv/common_export.h"

namespace dbv {

class COMMON_EXPORT StaticsInterface_c {
  public:
    // The current virtual database's name; empty at start.
    static std::string GetCurrentVirtualDatabase();
    // Sets the name; null is taken as empty. The store is not asked.
    static void SetCurrentVirtualDatabase(const char* name);
    // Whether a test database is active; false at start.
    static bool GetIsTestDatabaseActive();
    static void SetIsTestDatabaseActive(bool active);
    // Empties the name; true.
    static bool CleanUp();

    StaticsInterface_c() = delete;
};

}  // namespace dbv
