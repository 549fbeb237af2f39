// Process-wide settings of the domain support. Held in function-local statics so that
// they exist before any caller, whatever the order of static initialisation.
#include "dbv/statics_interface.h"

namespace dbv {

namespace {

std::string& CurrentName() {
    static std::string s_currentVirtualDatabase;
    return s_currentVirtualDatabase;
}

bool& TestDatabaseActive() {
    static bool s_isTestDatabaseActive = false;
    return s_isTestDatabaseActive;
}

}  // namespace

std::string StaticsInterface_c::GetCurrentVirtualDatabase() {
    try {
        return CurrentName();
    } catch (...) {  // std::bad_alloc for the copy
        return {};
    }
}

void StaticsInterface_c::SetCurrentVirtualDatabase(const char* name) {
    try {
        CurrentName() = name == nullptr ? "" : name;
    } catch (...) {  // std::bad_alloc: the name stays as it was
    }
}

bool StaticsInterface_c::GetIsTestDatabaseActive() {
    return TestDatabaseActive();
}

void StaticsInterface_c::SetIsTestDatabaseActive(bool active) {
    TestDatabaseActive() = active;
}

bool StaticsInterface_c::CleanUp() {
    CurrentName().clear();
    return true;
}

}  // namespace dbv
