// Path text helpers of paths.h; only port_absolute_path touches the system (getcwd).
#include "port/paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

std::string port_join_path(std::string_view dir, std::string_view name) {
    std::string result;
    if (dir.empty()) {
        result.reserve(2 + name.size());
        result = "./";
    } else {
        result.reserve(dir.size() + 1 + name.size());
        result.assign(dir);
        if (dir.back() != '/' && dir.back() != '\\') result.push_back('/');
    }
    result.append(name);
    return result;
}

namespace {

std::string current_directory() {
    std::vector<char> buffer(256);
    while (buffer.size() <= (1u << 20)) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace

bool port_absolute_path(const char* path, char* out, size_t out_size) {
    if (out != nullptr && out_size > 0) out[0] = '\0';
    if (path == nullptr || *path == '\0' || out == nullptr || out_size == 0) return false;

    std::string joined;
    if (path[0] == '/') {
        joined = path;
    } else {
        joined = current_directory();
        // getcwd gives an absolute path; anything else ("(unreachable)...") is unusable.
        if (joined.empty() || joined[0] != '/') return false;
        joined.push_back('/');
        joined.append(path);
    }

    // Rebuild from components, dropping empty and "." ones.
    std::string result;
    size_t pos = 0;
    while (pos < joined.size()) {
        size_t end = joined.find('/', pos);
        if (end == std::string::npos) end = joined.size();
        const size_t length = end - pos;
        const bool dot = length == 1 && joined[pos] == '.';
        if (length > 0 && !dot) {
            result.push_back('/');
            result.append(joined, pos, length);
        }
        pos = end + 1;
    }
    if (result.empty()) result.push_back('/');

    if (result.size() + 1 > out_size) return false;
    memcpy(out, result.c_str(), result.size() + 1);
    return true;
}

std::string port_directory_of(std::string_view path) {
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;  // "a/b/" names b
    const std::string_view trimmed = path.substr(0, end);
    const size_t slash = trimmed.rfind('/');
    if (slash == std::string_view::npos) return ".";
    size_t dir_end = slash;
    while (dir_end > 0 && trimmed[dir_end - 1] == '/') --dir_end;  // "a//b" lives in a
    if (dir_end == 0) return "/";
    return std::string(trimmed.substr(0, dir_end));
}
