// The text description from which `qm_dbtool create` makes a database file. One statement
// per line; blank lines and lines starting with '#' are skipped; words are separated by
// blanks, and a word in double quotes may hold blanks ("Hex bolt"; \" and \\ inside).
//
//   description <text to the end of the line>
//   domain                          the file carries a domain
//   dbvids                          the tables' ids are domain ids
//   event local|company <text>      an event of that level, in order
//   table <number> <name> [framed]  starts a table; the statements below belong to it
//   column <name> int|float|double  a column
//   column <name> text|bytes <size> a text (size counts the terminator) or byte column
//   key <column>...                 the primary key (default: the first column)
//   tag <tag> <column>              attaches a tag to a column
//   row <value>...                  one row, a value per column in column order: decimal
//                                   numbers, texts, byte columns in hex ("00ff10")
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dbtool {

struct ColumnDescription {
    std::string name;
    int32_t type = 0;  // table store type code
    int32_t size = 0;  // text and byte columns
};

struct TableDescription {
    int32_t number = 0;
    std::string name;
    bool framed = false;
    std::vector<ColumnDescription> columns;
    std::vector<std::string> key;                           // column names
    std::vector<std::pair<std::string, std::string>> tags;  // (tag, column)
    std::vector<std::vector<std::string>> rows;             // values as written
};

struct EventDescription {
    int32_t level = 0;  // 0 local, 1 company
    std::string text;
};

struct DatabaseDescription {
    std::string description;
    bool hasDomain = false;
    bool usesDbvIds = false;
    std::vector<EventDescription> events;
    std::vector<TableDescription> tables;
};

// Parses a description. On failure returns false with `error` as "line N: what is wrong".
// Checked: statement names and their word counts, numbers, duplicate table numbers, names
// and columns, sizes of 1 to 65536, names of 1 to 31 characters, key and tag columns that
// exist, row value counts, values that fit their column.
bool ParseDescription(const std::string& text, DatabaseDescription& out, std::string& error);

// Encodes one value of `column` into `field` (the column's bytes in the row). False with
// `error` when the value does not fit.
bool EncodeValue(const ColumnDescription& column, const std::string& value, unsigned char* field,
                 std::string& error);

}  // namespace dbtool
