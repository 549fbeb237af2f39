// The current virtual database: the name on which the registry's "Current" functions act,
// switched together with the table store's current database.
#include <string>

#include "dbv/domain_registry.h"
#include "dbv/statics_interface.h"
#include "outside/assert_log.h"
#include "outside/store_domain.h"

namespace dbv {

namespace {
constexpr const char* kSource = "schemel_interface";
}

std::string GetVirtualDatabase() {
    return StaticsInterface_c::GetCurrentVirtualDatabase();
}

bool SetVirtualDatabase(const char* name) {
    const char* wanted = name == nullptr ? "" : name;
    if (StaticsInterface_c::GetCurrentVirtualDatabase() == wanted) {
        return true;
    }
    // The store has no "no current database": an empty name is only remembered, and the
    // caller learns that the store was not switched.
    bool switched = false;
    if (wanted[0] != '\0') {
        if (!SetCurrentDatabase(wanted)) {
            return false;
        }
        switched = true;
    }
    StaticsInterface_c::SetCurrentVirtualDatabase(wanted);
    return switched;
}

bool CreateVirtualDatabase(const char* name) {
    if (name == nullptr || !CreateDatabase(name)) {
        mainCheckAssertion(false, "DatabaseCreatedSuccessfully", kSource, __LINE__);
        return false;
    }
    StaticsInterface_c::SetCurrentVirtualDatabase(name);
    return true;
}

}  // namespace dbv
