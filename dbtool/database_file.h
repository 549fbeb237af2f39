// Making a database in memory from a description, and writing the current virtual
// database as a qm_dbtool file: the header, the domain section (version word 1, the domain,
// the count 2 and the local and company event containers) and each table's rows, a framed
// table between two words holding its row count.
#pragma once

#include <string>

#include "dbtool/description.h"
#include "dbtool/file_header.h"
#include "dbv/domain_and_events.h"

namespace dbtool {

// A virtual database of its own for the lifetime of the object: created under an unused
// name and made current; the previous current database is made current again and the
// scratch database dropped at the end.
class ScratchDatabase {
  public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;
    bool ok() const { return ok_; }

  private:
    std::string previous_;
    std::string name_;
    bool ok_ = false;
};

// The header a description gives.
FileHeader HeaderOf(const DatabaseDescription& description);

// Declares and creates the described tables in the current database and fills them; with a
// domain, the container receives a new domain with empty local and company event containers,
// the described events, and the tables are converted before their rows go in.
bool BuildDatabase(const DatabaseDescription& description, dbv::DomainAndEvents_c& container,
                   std::string& error);

// Writes the current database's tables of `header` (and, when the header has the domain
// flag, the container's domain and events) to `fileName`, through a temporary file that
// replaces the old one only when everything was written.
bool WriteDatabaseFile(const std::string& fileName, const FileHeader& header,
                       const dbv::DomainAndEvents_c& container, std::string& error);

}  // namespace dbtool
