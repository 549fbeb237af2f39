// Field values of a row as text. Every read goes through memcpy at the field's offset, so
// rows need no particular alignment, and every text is bounded by its field's size.
#include "dbv/row_values.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "outside/assert_log.h"

namespace dbv {

namespace {

constexpr const char* kSource = "rowhive_tools";

// True when `format` holds exactly one conversion and that conversion takes one double:
// flags, a width and a precision given as digits, at most the 'l' modifier, and one of
// "aAeEfFgG". Anything else would make snprintf read an argument it was not given.
bool TakesOneDouble(const std::string& format) {
    int conversions = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        ++i;
        if (i < format.size() && format[i] == '%') continue;
        while (i < format.size() && std::strchr("-+ #0", format[i]) != nullptr) ++i;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;
        if (i < format.size() && format[i] == '.') {
            ++i;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;
        }
        if (i < format.size() && format[i] == 'l') ++i;
        if (i >= format.size() || std::strchr("aAeEfFgG", format[i]) == nullptr) return false;
        ++conversions;
    }
    return conversions == 1;
}

std::string FormatDouble(double value, const std::string& format, bool formatUsable) {
    if (!formatUsable) return std::string();
    char buffer[kMaxFieldValueText + 1];
    // The format was checked to take exactly one double, which is what it is given.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int written = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
#pragma GCC diagnostic pop
    if (written < 0) return std::string();
    return std::string(buffer);  // snprintf cut it to the buffer and terminated it
}

std::string ByteList(const unsigned char* bytes, int32_t count) {
    std::string text;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) text += ':';
        text += std::to_string(static_cast<unsigned>(bytes[i]));
    }
    return text;
}

std::string FieldValue(const dbd_fieldspec_t& spec, const unsigned char* field,
                       const std::string& floatFormat, bool formatUsable) {
    switch (spec.type) {
        case DBD_INT32: {
            int32_t value = 0;
            std::memcpy(&value, field, sizeof value);
            return std::to_string(value);
        }
        case DBD_FLOAT: {
            float value = 0;
            std::memcpy(&value, field, sizeof value);
            return FormatDouble(static_cast<double>(value), floatFormat, formatUsable);
        }
        case DBD_DOUBLE: {
            double value = 0;
            std::memcpy(&value, field, sizeof value);
            return FormatDouble(value, floatFormat, formatUsable);
        }
        case DBD_TEXT: {
            // A text that fills its field has no terminator: its size bounds the read.
            const size_t size =
                spec.element_count > 0 ? static_cast<size_t>(spec.element_count) : 0;
            const char* text = reinterpret_cast<const char*>(field);
            size_t length = strnlen(text, size);
            if (length > kMaxFieldValueText) length = kMaxFieldValueText;
            return std::string(text, length);
        }
        case DBD_BYTES:
            return ByteList(field, spec.element_count);
        default:
            QM_ASSERT(!"Unsupported field type\n", kSource);
            return std::string();
    }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> GetTableRowFieldValues(
    const std::vector<dbd_fieldspec_t>& specs, const void* row, const std::string& floatFormat) {
    std::vector<std::pair<std::string, std::string>> values;
    if (row == nullptr) return values;
    const bool formatUsable = TakesOneDouble(floatFormat);
    const auto* bytes = static_cast<const unsigned char*>(row);
    values.reserve(specs.size());
    for (const dbd_fieldspec_t& spec : specs) {
        std::string name(spec.name, strnlen(spec.name, sizeof spec.name));
        values.emplace_back(std::move(name),
                            FieldValue(spec, bytes + spec.offset, floatFormat, formatUsable));
    }
    return values;
}

}  // namespace dbv
