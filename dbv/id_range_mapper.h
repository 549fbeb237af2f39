// Id range mapper of a domain: runs of old ids (from another numbering) are given fresh runs
// of time ids of the domain, and later references to an old id are translated to its new
// time id. The mapping, with the upper end of the last old range, can be saved to a file
// and read back.
//
// Ownership. The table store's mapper behind an object is shared by all copies of it (copy
// constructor, assignment) through one internal holder: every copy sees the same store
// mapper, and the store mapper is released exactly once, by FreeIdRangeMapper, by Clean
// (which puts a new empty one in its place for every copy) or when the last copy goes away.
// After FreeIdRangeMapper every copy is without a store mapper and takes the "no mapper"
// path of each operation. The domain is never owned.
//
// Reports go through the assertion convention with the source name dbv_id_range_mapper.
#pragma once

#include <cstdint>
#include <memory>

#include "dbv/common_export.h"
#include "outside/store_domain.h"

namespace dbv {

namespace detail {
struct StoreMapperSlot;
}

class COMMON_EXPORT IdRangeMapper_c {
  public:
    // The domain of the current virtual database (registry lookup); when there is one, a new
    // empty store mapper for it ("Creating id range mapper failed!" when the store refuses).
    // Without a current domain the object has neither domain nor mapper.
    IdRangeMapper_c();
    // Keeps `domain` (not owned) and creates a store mapper; a null domain gives an object
    // without domain and mapper.
    explicit IdRangeMapper_c(dbv_domain_s* domain);
    // As the default constructor, for the named database's domain.
    explicit IdRangeMapper_c(const char* database);
    // Shares the source's store mapper (see Ownership above).
    IdRangeMapper_c(const IdRangeMapper_c& other);

    // Drops this object's share of the store mapper; the last share releases it.
    virtual ~IdRangeMapper_c();
    // Copies the old maximum id and the domain and shares the source's store mapper.
    virtual IdRangeMapper_c& operator=(const IdRangeMapper_c& other);

    // Maps the old ids first ... last - 1 onto a fresh run of last - first time ids of the
    // domain. The old maximum id becomes `last` first, also when the call then fails.
    // False without domain or mapper, when the run is empty or longer than INT32_MAX ids or
    // the domain refuses it ("Getting new id range failed"), or when the store refuses the
    // mapping ("Id range mapper failed to map the ids").
    virtual bool AddRange(int32_t first, int32_t last);
    // The upper end last given to AddRange (or read from a file); 0 when empty.
    virtual int32_t GetOldMaxId() const;
    // The new time id of `oldId`; `oldId` itself without domain or mapper or when it is not
    // mapped ("Id range mapping failed" is reported then).
    virtual int32_t GetNewId(int32_t oldId) const;
    // As GetNewId without any report; 0 when `oldId` is not mapped.
    virtual int32_t TryGetNewId(int32_t oldId) const;
    // Writes the file: the 13 bytes "IdRangeMapper", the old maximum id (4 bytes, little
    // endian) and the store mapper's body, through a gzip stream ("wbz"). False without
    // domain or mapper; otherwise true, also when the file could not be written.
    virtual bool WriteToFile(const char* fileName) const;
    // Reads a file written by WriteToFile ("rbz"). The header bytes are not compared. The
    // whole body is read into a new store mapper first; only when everything was read do
    // the mapping and the old maximum id change. False without domain or mapper or when the
    // file is missing, short or its body is refused; the file is closed on every path.
    virtual bool ReadFromFile(const char* fileName);
    // Replaces the store mapper with a new empty one (for every copy) and sets the old
    // maximum id to 0. Always true; failures are reported.
    virtual bool Clean();
    // Releases the store mapper; every copy is then without one. True without a mapper,
    // otherwise whether the store released it.
    virtual bool FreeIdRangeMapper();

  private:
    // Reads header, old maximum id and body from `fileName` into `mapper` and `*oldMaxId`.
    bool ReadIdRangeMapperFromFile(dbv_idrangemapper_s* mapper, int32_t* oldMaxId,
                                   const char* fileName) const;
    // Writes header, `oldMaxId` and the body of `mapper` to `fileName`; true unless there is
    // nothing to write.
    bool WriteIdRangeMapperToFile(dbv_idrangemapper_s* mapper, int32_t oldMaxId,
                                  const char* fileName) const;
    // The store mapper, or null.
    dbv_idrangemapper_s* StoreMapper() const;
    void AttachToDomain(dbv_domain_s* domain);

    int32_t oldMaxId_ = 0;
    std::shared_ptr<detail::StoreMapperSlot> mapper_;
    dbv_domain_s* domain_ = nullptr;
};

}  // namespace dbv
