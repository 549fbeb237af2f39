// Parsing the text description of a database file, statement by statement.
#include "dbtool/description.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

#include "outside/table_store.h"

namespace dbtool {
namespace {

constexpr int32_t kMaxFieldSize = 65536;

// Splits a line into words; a word in double quotes may hold blanks, \" and \\.
bool split_words(const std::string& line, std::vector<std::string>& words, std::string& error) {
    words.clear();
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size()) {
                    word += line[i++];
                } else {
                    word += c;
                }
            }
            if (!closed) {
                error = "unterminated quoted word";
                return false;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                word += line[i++];
            }
        }
        words.push_back(word);
    }
    return true;
}

bool parse_int(const std::string& text, int64_t low, int64_t high, int64_t& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    value = v;
    return true;
}

bool valid_name(const std::string& name) {
    return !name.empty() && name.size() <= 31;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int32_t field_bytes(const ColumnDescription& column) {
    switch (column.type) {
        case DBD_DOUBLE:
            return 8;
        case DBD_TEXT:
        case DBD_BYTES:
            return column.size;
        default:
            return 4;
    }
}

// The rest of the line after the statement word, blanks trimmed.
std::string rest_of_line(const std::string& line, const std::string& word) {
    const size_t start = line.find(word) + word.size();
    const size_t first = line.find_first_not_of(" \t", start);
    if (first == std::string::npos) return {};
    const size_t last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

class Parser {
  public:
    explicit Parser(DatabaseDescription& out) : out_(out) {}

    bool statement(const std::string& line, const std::vector<std::string>& w) {
        const std::string& s = w[0];
        if (s == "description") {
            out_.description = rest_of_line(line, s);
            return true;
        }
        if (s == "domain" || s == "dbvids") {
            if (!count(w, 1)) return false;
            (s == "domain" ? out_.hasDomain : out_.usesDbvIds) = true;
            return true;
        }
        if (s == "event") return event(line, w);
        if (s == "table") return table(w);
        if (s != "column" && s != "key" && s != "tag" && s != "row") {
            return fail("unknown statement '" + s + "'");
        }
        if (out_.tables.empty()) return fail("'" + s + "' outside a table");
        TableDescription& t = out_.tables.back();
        if (s == "column") return column(t, w);
        if (s == "key") return key(t, w);
        if (s == "tag") return tag(t, w);
        return row(t, w);
    }

    std::string error;

  private:
    bool fail(const std::string& what) {
        error = what;
        return false;
    }
    bool count(const std::vector<std::string>& w, size_t n) {
        return w.size() == n || fail("'" + w[0] + "' takes " + std::to_string(n - 1) + " word(s)");
    }

    bool event(const std::string& line, const std::vector<std::string>& w) {
        if (w.size() < 3) return fail("'event' takes a level and a text");
        EventDescription e;
        if (w[1] == "local") {
            e.level = 0;
        } else if (w[1] == "company") {
            e.level = 1;
        } else {
            return fail("event level must be local or company");
        }
        // The text is the rest of the line as written, or the one quoted word unquoted.
        const std::string afterStatement = line.substr(line.find(w[0]) + w[0].size());
        e.text = w.size() == 3 ? w[2] : rest_of_line(afterStatement, w[1]);
        out_.events.push_back(e);
        return true;
    }

    bool table(const std::vector<std::string>& w) {
        if (w.size() != 3 && !(w.size() == 4 && w[3] == "framed")) {
            return fail("'table' takes a number, a name and optionally 'framed'");
        }
        int64_t number = 0;
        if (!parse_int(w[1], 1, INT32_MAX, number)) return fail("bad table number '" + w[1] + "'");
        if (!valid_name(w[2])) return fail("a table name has 1 to 31 characters");
        for (const TableDescription& t : out_.tables) {
            if (t.number == number) return fail("table number " + w[1] + " used twice");
            if (t.name == w[2]) return fail("table name " + w[2] + " used twice");
        }
        TableDescription t;
        t.number = static_cast<int32_t>(number);
        t.name = w[2];
        t.framed = w.size() == 4;
        out_.tables.push_back(t);
        return true;
    }

    bool column(TableDescription& t, const std::vector<std::string>& w) {
        if (!t.rows.empty()) return fail("columns come before the rows");
        if (w.size() < 3) return fail("'column' takes a name and a type");
        ColumnDescription c;
        c.name = w[1];
        if (!valid_name(c.name)) return fail("a column name has 1 to 31 characters");
        for (const ColumnDescription& other : t.columns) {
            if (other.name == c.name) return fail("column " + c.name + " used twice");
        }
        static const std::pair<const char*, int32_t> kTypes[] = {{"int", DBD_INT32},
                                                                 {"float", DBD_FLOAT},
                                                                 {"double", DBD_DOUBLE},
                                                                 {"text", DBD_TEXT},
                                                                 {"bytes", DBD_BYTES}};
        bool known = false;
        for (const auto& [name, code] : kTypes) {
            if (w[2] == name) {
                c.type = code;
                known = true;
            }
        }
        if (!known) return fail("unknown column type '" + w[2] + "'");
        const bool sized = c.type == DBD_TEXT || c.type == DBD_BYTES;
        if (w.size() != (sized ? 4u : 3u)) {
            return fail(sized ? "text and bytes columns take a size"
                              : "only text and bytes take a size");
        }
        if (sized) {
            int64_t size = 0;
            if (!parse_int(w[3], 1, kMaxFieldSize, size)) return fail("a size is 1 to 65536");
            c.size = static_cast<int32_t>(size);
        }
        t.columns.push_back(c);
        return true;
    }

    bool has_column(const TableDescription& t, const std::string& name) {
        for (const ColumnDescription& c : t.columns) {
            if (c.name == name) return true;
        }
        return fail("no column " + name + " in table " + t.name);
    }

    bool key(TableDescription& t, const std::vector<std::string>& w) {
        if (w.size() < 2 || w.size() > 1 + DBD_MAX_INDEX_COLUMNS)
            return fail("'key' takes 1 to 8 columns");
        std::set<std::string> seen;
        for (size_t i = 1; i < w.size(); ++i) {
            if (!has_column(t, w[i])) return false;
            if (!seen.insert(w[i]).second) return fail("key column " + w[i] + " used twice");
        }
        t.key.assign(w.begin() + 1, w.end());
        return true;
    }

    bool tag(TableDescription& t, const std::vector<std::string>& w) {
        if (!count(w, 3)) return false;
        if (!valid_name(w[1])) return fail("a tag name has 1 to 31 characters");
        if (!has_column(t, w[2])) return false;
        t.tags.emplace_back(w[1], w[2]);
        return true;
    }

    bool row(TableDescription& t, const std::vector<std::string>& w) {
        if (t.columns.empty()) return fail("a row before any column");
        if (w.size() - 1 != t.columns.size()) {
            return fail("the row has " + std::to_string(w.size() - 1) + " values for " +
                        std::to_string(t.columns.size()) + " columns");
        }
        std::vector<unsigned char> scratch;
        for (size_t i = 0; i < t.columns.size(); ++i) {
            scratch.assign(static_cast<size_t>(field_bytes(t.columns[i])), 0);
            std::string what;
            if (!EncodeValue(t.columns[i], w[i + 1], scratch.data(), what)) return fail(what);
        }
        t.rows.emplace_back(w.begin() + 1, w.end());
        return true;
    }

    DatabaseDescription& out_;
};

}  // namespace

bool EncodeValue(const ColumnDescription& column, const std::string& value, unsigned char* field,
                 std::string& error) {
    switch (column.type) {
        case DBD_INT32: {
            int64_t v = 0;
            if (!parse_int(value, INT32_MIN, INT32_MAX, v)) {
                error = "column " + column.name + ": '" + value + "' is no 32-bit integer";
                return false;
            }
            const auto i = static_cast<int32_t>(v);
            std::memcpy(field, &i, sizeof i);
            return true;
        }
        case DBD_FLOAT:
        case DBD_DOUBLE: {
            char* end = nullptr;
            const double d = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(d) ||
                (column.type == DBD_FLOAT && std::fabs(d) > 3.4e38)) {
                error = "column " + column.name + ": '" + value + "' is no finite number";
                return false;
            }
            if (column.type == DBD_FLOAT) {
                const auto f = static_cast<float>(d);
                std::memcpy(field, &f, sizeof f);
            } else {
                std::memcpy(field, &d, sizeof d);
            }
            return true;
        }
        case DBD_TEXT:
            if (value.size() >= static_cast<size_t>(column.size)) {
                error = "column " + column.name + ": the text is longer than " +
                        std::to_string(column.size - 1) + " characters";
                return false;
            }
            std::memset(field, 0, static_cast<size_t>(column.size));
            std::memcpy(field, value.data(), value.size());
            return true;
        case DBD_BYTES: {
            if (value.size() % 2 != 0 || value.size() / 2 > static_cast<size_t>(column.size)) {
                error = "column " + column.name + ": bytes are written as at most " +
                        std::to_string(column.size) + " hex pairs";
                return false;
            }
            std::memset(field, 0, static_cast<size_t>(column.size));
            for (size_t i = 0; i < value.size(); i += 2) {
                const int high = hex_digit(value[i]);
                const int low = hex_digit(value[i + 1]);
                if (high < 0 || low < 0) {
                    error = "column " + column.name + ": '" + value + "' is not hex";
                    return false;
                }
                field[i / 2] = static_cast<unsigned char>(high * 16 + low);
            }
            return true;
        }
        default:
            error = "unknown column type";
            return false;
    }
}

bool ParseDescription(const std::string& text, DatabaseDescription& out, std::string& error) {
    out = DatabaseDescription{};
    Parser parser(out);
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> words;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::string what;
        if (!split_words(line, words, what)) {
            error = "line " + std::to_string(number) + ": " + what;
            return false;
        }
        if (words.empty() || words[0][0] == '#') continue;
        if (!parser.statement(line, words)) {
            error = "line " + std::to_string(number) + ": " + parser.error;
            return false;
        }
    }
    for (TableDescription& t : out.tables) {
        if (t.columns.empty()) {
            error = "table " + t.name + " has no columns";
            return false;
        }
        if (t.key.empty()) t.key.push_back(t.columns[0].name);
    }
    return true;
}

}  // namespace dbtool
