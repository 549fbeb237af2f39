// Internal to the domain support: the holder through which copies of an IdRangeMapper_c
// share one table-store mapper. The last copy to let go releases the store mapper, unless
// the library is being unloaded: then the store may already be gone, and the mapper is
// forgotten instead (the registry's lists are all that unloading releases).
#pragma once

#include "outside/store_domain.h"

namespace dbv::detail {

struct StoreMapperSlot {
    explicit StoreMapperSlot(dbv_idrangemapper_s* storeMapper) : handle(storeMapper) {}
    ~StoreMapperSlot();
    StoreMapperSlot(const StoreMapperSlot&) = delete;
    StoreMapperSlot& operator=(const StoreMapperSlot&) = delete;

    dbv_idrangemapper_s* handle = nullptr;  // null once released
};

// From now on no slot calls the store any more. Called when the registry is destroyed at
// unload; there is no way back.
void MarkLibraryUnloading();

}  // namespace dbv::detail
