// The text form of every field of a table row, as the table dump writes it: integers in
// decimal, floating values through a caller-chosen printf format, texts as stored and byte
// fields as their unsigned byte values joined by ':' ("1:0:255").
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "dbv/common_export.h"
#include "outside/table_store.h"

namespace dbv {

// Longest value text: a formatted number or a text field is cut to this many characters.
constexpr size_t kMaxFieldValueText = 2047;

// (field name, value text) for each field description, in the order of `specs`; empty for a
// null row.
// REQUIRES: `row` holds a row of the table that `specs` describe (each field lies inside it).
// `floatFormat` is a printf format that takes exactly one double (such as "%g" or "%.17g"):
// float fields are widened to double and both go through it. A format that does not take
// exactly one double (another conversion, '*', a length modifier other than 'l') is not
// used: the value text of those fields is empty. A text field is read up to its terminator
// or its element count, whichever comes first. A field of an unknown type is reported
// ("!\"Unsupported field type\\n\"", source rowhive_tools) and gets an empty value text.
COMMON_EXPORT std::vector<std::pair<std::string, std::string>> GetTableRowFieldValues(
    const std::vector<dbd_fieldspec_t>& specs, const void* row, const std::string& floatFormat);

}  // namespace dbv
