// Writing one table block of the dump text. Field values are read bounded by their field's
// size: a loaded text field that fills its field has no terminator.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dbv/dump_table.h"
#include "dbv/table_domain_info.h"
#include "dbv/table_introspection.h"
#include "outside/assert_log.h"
#include "outside/log_printf.h"
#include "outside/store_domain_tables.h"

namespace dbv {
namespace {

constexpr const char* kSource = "dbv_dump_table";

bool is_removed_control(unsigned char c) {
    return (c >= 1 && c <= 31 && c != 9) || c == 127;
}

// Removes control characters other than TAB in place, closing up the gap, and gives the
// text's length within the field.
size_t strip_controls(unsigned char* text, size_t size) {
    size_t kept = 0;
    size_t read = 0;
    for (; read < size && text[read] != 0; ++read) {
        if (!is_removed_control(text[read])) text[kept++] = text[read];
    }
    if (kept < read) std::memset(text + kept, 0, read - kept);
    return kept;
}

// The row's text is built in one buffer and written at once: formatting field by field
// through the stream would cost most of a dump's time.
void append_field_start(std::string& out, const char* name) {
    out += "          ";
    out.append(name, strnlen(name, sizeof(dbd_fieldspec_t::name)));
    out += " = ";
}

void append_int(std::string& out, int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// As printf "%f": six decimals, exactly rounded.
void append_fixed(std::string& out, double value) {
    if (!std::isfinite(value)) {
        char text[16];
        const int n = std::snprintf(text, sizeof text, "%f", value);
        out.append(text, static_cast<size_t>(n));
        return;
    }
    char digits[400];  // 309 integer digits at most, the point and six decimals
    const auto end =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6).ptr;
    out.append(digits, end);
}

void append_bytes_field(std::string& out, const char* name, const unsigned char* bytes,
                        size_t size) {
    append_field_start(out, name);
    out += '\'';
    for (size_t i = 0; i < size; ++i) {
        if (i != 0) out += ':';
        append_int(out, bytes[i]);
    }
    out += "'\n";
}

const char* save_action_label(int32_t action) {
    switch (action) {
        case DBV_SAVEACTION_NONE:
            return "NOP";
        case DBV_SAVEACTION_INSERT:
            return "INSERT";
        case DBV_SAVEACTION_UPDATE:
            return "UPDATE";
        case DBV_SAVEACTION_DELETE:
            return "DELETE";
        default:
            return "SAVEACTIONERROR";
    }
}

// Field numbers of the table that hold ids of `domain`, and the small-id limit.
std::vector<int32_t> id_fields(dbv_tablestruct* table, dbv_domain_s* domain, int32_t& smallIds) {
    std::vector<int32_t> fields;
    smallIds = 0;
    if (!GetTableDomainFields(table, domain, fields, smallIds)) fields.clear();
    std::sort(fields.begin(), fields.end());
    return fields;
}

}  // namespace

bool DumpTable_c::Write(int32_t table, FILE* file, int32_t workMode) {
    if (file == nullptr) return true;
    dbv_tablestruct* pointer = GetVirtualTablePointer(table);
    const char* name = GetVirtualTableName(table);
    if (pointer == nullptr || name == nullptr) {
        std::fprintf(file, "Table %d does not exist\n", table);
        if (logInfoOutput_) logPrintf(1, "%d objects written\n", 0);
        return true;
    }
    const std::string tableName = name;
    std::vector<unsigned char> row(static_cast<size_t>(dbv_getrowlength(pointer)) + 10);

    smallIdLimit_ = 0;
    std::vector<int32_t> idFields;
    if (writeIdLabels_) idFields = id_fields(pointer, domain_, smallIdLimit_);

    const std::vector<dbd_fieldspec_t> specs = GetTableFieldSpecs(table);
    if (logInfoOutput_) {
        logPrintf(1, "no_of_fields %d in table '%s'\n", static_cast<int>(specs.size()),
                  tableName.c_str());
    }
    std::fprintf(file, "    Table %s -------------------------------------\n", tableName.c_str());
    std::fprintf(file, "    {\n");

    const int32_t previousMode = dbv_inquireworkmode();
    dbv_setworkmode(workMode);
    dbv_cursorstruct* cursor = dbv_opencursor_all(pointer);

    bool ok = true;
    std::string text;
    int32_t count = 0;
    int32_t step = 10;
    while (cursor != nullptr && dbv_fetch(cursor, row.data()) == 0) {
        ++count;
        if (progress_ && count % step == 0) {
            const bool goOn = progress_(-1, tableName + " " + std::to_string(count));
            while (step < 10000 && count >= 100 * step) step *= 10;
            if (!goOn) break;
        }
        if (maxRows_ >= 0 && count > maxRows_) continue;

        std::string saveLabel;
        std::string timeLabel;
        if (writeRowLabels_) {
            if (workMode == DBV_WORKMODE_HISTORY) {
                int32_t action = -1;
                saveLabel = dbv_getdomainsaveaction(cursor, event_, &action) == 0
                                ? save_action_label(action)
                                : "SAVEACTIONERROR";
            }
            int32_t creation = 0;
            int32_t modification = 0;
            if (domain_ != nullptr && dbv_getcursortime(cursor, &creation, &modification) == 0) {
                timeLabel = " " + std::to_string(creation) + "/" + TimeText(creation) + "   " +
                            std::to_string(modification) + "/" + TimeText(modification);
            }
        }
        text.clear();
        text += "      row";
        text += saveLabel;
        text += timeLabel;
        text += "\n      { \n";
        for (size_t i = 0; i < specs.size(); ++i) {
            const dbd_fieldspec_t& spec = specs[i];
            unsigned char* value = row.data() + spec.offset;
            const auto size = static_cast<size_t>(std::max(spec.size, 0));
            const bool isIdField =
                !idFields.empty() &&
                std::binary_search(idFields.begin(), idFields.end(), static_cast<int32_t>(i));
            if (isIdField && spec.type != DBD_INT32) {
                mainCheckAssertion(false, "!IsDbvIdField", kSource, __LINE__);
            }
            switch (spec.type) {
                case DBD_INT32: {
                    int32_t v = 0;
                    std::memcpy(&v, value, sizeof v);
                    append_field_start(text, spec.name);
                    if (isIdField) {
                        text += '\'';
                        text += IdLabel(v);
                        text += "'\n";
                    } else {
                        append_int(text, v);
                        text += '\n';
                    }
                    break;
                }
                case DBD_FLOAT: {
                    float v = 0;
                    std::memcpy(&v, value, sizeof v);
                    append_field_start(text, spec.name);
                    append_fixed(text, static_cast<double>(v));
                    text += '\n';
                    break;
                }
                case DBD_DOUBLE: {
                    double v = 0;
                    std::memcpy(&v, value, sizeof v);
                    append_field_start(text, spec.name);
                    append_fixed(text, v);
                    text += '\n';
                    break;
                }
                case DBD_TEXT: {
                    const size_t length = strip_controls(value, size);
                    append_field_start(text, spec.name);
                    text += '\'';
                    text.append(reinterpret_cast<const char*>(value), length);
                    text += "'\n";
                    break;
                }
                case DBD_BYTES:
                    append_bytes_field(text, spec.name, value, size);
                    break;
                default:
                    QM_ASSERT(!"Illegal field type (write dump)\n", kSource);
                    ok = false;
                    break;
            }
        }
        text += "      }\n";
        std::fwrite(text.data(), 1, text.size(), file);
    }
    if (maxRows_ >= 0 && count > maxRows_) {
        std::fprintf(file, "      rows %d - %d not written\n", maxRows_ + 1, count);
    }
    std::fprintf(file, "    }\n");
    dbv_setworkmode(previousMode);
    dbv_closecursor(cursor);
    if (logInfoOutput_) logPrintf(1, "%d objects written\n", count);
    return ok;
}

}  // namespace dbv
