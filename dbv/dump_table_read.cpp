// Reading a table block of the dump text back into a table. The text is untrusted: lines
// are read whole but kept only up to their limit, numbers are parsed without overflow,
// and a row is stored only when it was read to its closing line.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dbv/dump_table.h"
#include "dbv/table_introspection.h"
#include "outside/assert_log.h"
#include "outside/base64.h"
#include "outside/base_tools_text.h"
#include "outside/log_printf.h"
#include "outside/table_store.h"

namespace dbv {
namespace {

constexpr const char* kSource = "dbv_dump_table";
constexpr size_t kLineLimit = 1279;
constexpr size_t kAttributeLineLimit = 2559;
constexpr size_t kValueLimit = 1279;
constexpr size_t kNameLimit = 100;

// Reads one line with its line feed; keeps at most `limit` characters of it and drops the
// rest of a longer line. False at end of file before any character.
bool read_line(FILE* file, std::string& line, size_t limit) {
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (line.size() < limit) line += static_cast<char>(c);
        if (c == '\n') break;
    }
    return any;
}

bool is_row_word(const std::string& word) {
    static const char* const kWords[] = {"row",       "rowNOP",    "rowINSERT",
                                         "rowUPDATE", "rowDELETE", "rowSAVEACTIONERROR"};
    for (const char* w : kWords) {
        if (word == w) return true;
    }
    return false;
}

// atoi without its undefined overflow: out-of-range values are clamped.
int32_t parse_int(const char* text) {
    errno = 0;
    const long long v = std::strtoll(text, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

float to_float(double v) {
    if (std::isnan(v) || std::isinf(v)) return static_cast<float>(v);
    if (v > FLT_MAX) return HUGE_VALF;
    if (v < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(v);
}

bool convert_value(const dbd_fieldspec_t& spec, const std::string& value, unsigned char* field) {
    const auto size = static_cast<size_t>(spec.size > 0 ? spec.size : 0);
    switch (spec.type) {
        case DBD_INT32: {
            const int32_t v = parse_int(value.c_str());
            std::memcpy(field, &v, sizeof v);
            return true;
        }
        case DBD_FLOAT: {
            const float v = to_float(std::strtod(value.c_str(), nullptr));
            std::memcpy(field, &v, sizeof v);
            return true;
        }
        case DBD_DOUBLE: {
            const double v = std::strtod(value.c_str(), nullptr);
            std::memcpy(field, &v, sizeof v);
            return true;
        }
        case DBD_TEXT: {
            const std::string text = tools::GetSubstringBetweenDelimiter(value, '\'');
            std::memset(field, 0, size);
            std::memcpy(field, text.data(), text.size() < size ? text.size() : size);
            return true;
        }
        case DBD_BYTES: {
            const std::string encoded = tools::GetSubstringBetweenDelimiter(value, '\'');
            size_t capacity = 0;
            unsigned char* buffer = tools::AllocateBase64DecodingBuffer(encoded, &capacity);
            if (buffer == nullptr) return false;
            size_t decoded = 0;
            const bool ok =
                tools::Base64Decode(encoded, buffer, capacity, &decoded) && decoded <= size;
            if (ok) {
                std::memcpy(field, buffer, decoded);
            } else {
                QM_ASSERT(!"Corrupted base64 string", kSource);
            }
            tools::DeleteBase64DecodingBuffer(buffer);
            return ok;
        }
        default:
            QM_ASSERT(!"Illegal field type (read dump)\n", kSource);
            return false;
    }
}

enum class RowResult { kRow, kEnd, kFailed };

// Reads one row into `row`. kEnd when the table's rows ended (its closing line or any line
// that is no row header); kFailed on a bad row or an end of file.
RowResult read_row(FILE* file, const std::vector<dbd_fieldspec_t>& specs, unsigned char* row) {
    std::string line;
    for (;;) {
        if (!read_line(file, line, kLineLimit)) return RowResult::kFailed;
        const std::string word = tools::GetStringWithoutWhiteSpaces(line);
        if (is_row_word(word)) break;
        if (word == "rows") continue;  // "rows N - M not written" behind the last row
        return RowResult::kEnd;
    }
    if (!read_line(file, line, kLineLimit)) return RowResult::kFailed;  // "      { "
    for (;;) {
        if (!read_line(file, line, kAttributeLineLimit)) {
            logPrintf(1, "ReadTableAttribute: fgets error\n");
            return RowResult::kFailed;
        }
        const std::string name = tools::GetStringWithoutWhiteSpaces(line);
        const size_t equals = line.find('=');
        if (name.empty() || equals == std::string::npos) return RowResult::kRow;
        std::string value = line.substr(equals + 1);
        if (value.size() > kValueLimit) value = "0.0";
        if (name.size() >= kNameLimit) {
            logPrintf(1, "ReadTableRow error, name = %s \n", name.c_str());
            return RowResult::kFailed;
        }
        for (const dbd_fieldspec_t& spec : specs) {
            if (std::strncmp(spec.name, name.c_str(), sizeof spec.name) == 0 &&
                name.size() < sizeof spec.name) {
                if (!convert_value(spec, value, row + spec.offset)) return RowResult::kFailed;
                break;
            }
        }
    }
}

}  // namespace

bool DumpTable_c::Read(int32_t table, FILE* file, int32_t primaryTable, std::vector<uint8_t>& row) {
    if (file == nullptr) return false;
    std::string line;
    if (!read_line(file, line, kLineLimit)) return false;  // "    {"
    dbv_tablestruct* pointer = GetVirtualTablePointer(table);
    if (pointer == nullptr) return false;
    const std::vector<dbd_fieldspec_t> specs = GetTableFieldSpecs(table);
    const auto rowLength = static_cast<size_t>(dbv_getrowlength(pointer));
    if (row.size() < rowLength) row.resize(rowLength, 0);
    dbv_indexstruct* primary = table == primaryTable ? GetVirtualPrimaryPointer(table) : nullptr;

    bool ok = true;
    for (;;) {
        const RowResult result = read_row(file, specs, row.data());
        if (result == RowResult::kEnd) return ok;
        if (result == RowResult::kFailed) return false;
        if (table != primaryTable) {
            if (dbv_insert(pointer, row.data()) != 0) ok = false;
        } else if (primary != nullptr && dbv_update(primary, row.data()) != 0) {
            ok = false;
        }
    }
}

}  // namespace dbv
