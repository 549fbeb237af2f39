// The base tools' switches of the current virtual database: thin bool wrappers over the
// dictionary's database functions.
#include "outside/store_domain.h"
#include "outside/store_seams.h"
#include "outside/table_store.h"

namespace dbv {

bool SetCurrentDatabase(const char* name) {
    if (store_seams::ShouldFail("dbv::SetCurrentDatabase")) return false;
    return name != nullptr && dbd_setcurrentvirtualdatabase(name) == 0;
}

bool CreateDatabase(const char* name) {
    if (store_seams::ShouldFail("dbv::CreateDatabase")) return false;
    return name != nullptr && dbd_createvirtualdatabase(name) == 0;
}

bool DropVirtualDatabase(const char* name) {
    if (store_seams::ShouldFail("dbv::DropVirtualDatabase")) return false;
    return name != nullptr && dbd_dropvirtualdatabase(name) == 0;
}

}  // namespace dbv
