// Declares the tables of a qm_dbtool file to the store's dictionary. The dictionary keeps
// pointers into the definitions for as long as the process runs, so the definitions made
// here are kept for the process too.
#pragma once

#include <string>
#include <vector>

#include "dbtool/description.h"

namespace dbtool {

// Declares every table (a primary index "pk" on its key) and its tags. A table already
// declared with the same definition is accepted; another definition under the same name
// is refused with `error`.
bool DeclareTables(const std::vector<TableDescription>& tables, std::string& error);

}  // namespace dbtool
