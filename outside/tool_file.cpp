// Streams of the base tools. Plain and 'c' streams are ordinary stdio streams; the set of
// 'c' streams is remembered so that tool_fclose knows which ones to sync. 'z' streams are
// stdio cookie streams over zlib's gz* functions on a descriptor we open ourselves, which
// lets the commit sync a duplicate of that descriptor after zlib has written the trailer.
#include "outside/tool_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "port/files.h"

namespace {

struct ParsedMode {
    char access = 0;  // 'r', 'w' or 'a'
    bool update = false;
    bool exclusive = false;
    bool commit = false;
    bool gzip = false;
};

bool parse_mode(const char* mode, ParsedMode& parsed) {
    if (mode == nullptr || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) return false;
    parsed.access = mode[0];
    bool binary = false;
    bool text = false;
    for (const char* p = mode + 1; *p != '\0'; ++p) {
        bool* flag = nullptr;
        switch (*p) {
            case '+':
                flag = &parsed.update;
                break;
            case 'b':
                flag = &binary;
                break;
            case 't':
                flag = &text;
                break;
            case 'x':
                flag = &parsed.exclusive;
                break;
            case 'c':
                flag = &parsed.commit;
                break;
            case 'z':
                flag = &parsed.gzip;
                break;
            default:
                return false;
        }
        if (*flag) return false;  // a letter twice is a typo, not a wish
        *flag = true;
    }
    if (binary && text) return false;
    if (parsed.exclusive && parsed.access != 'w') return false;
    // One gzip stream cannot be read and written at once.
    if (parsed.gzip && parsed.update) return false;
    return true;
}

// Linux lets a directory be opened for reading; a stream on one is useless, so refuse it.
bool is_directory(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- streams to sync on close ----

std::mutex& commit_mutex() {
    static std::mutex m;
    return m;
}
std::unordered_set<FILE*>& commit_streams() {
    static std::unordered_set<FILE*> streams;
    return streams;
}

void remember_commit(FILE* stream) {
    std::lock_guard<std::mutex> lock(commit_mutex());
    commit_streams().insert(stream);
}

bool forget_commit(FILE* stream) {
    std::lock_guard<std::mutex> lock(commit_mutex());
    return commit_streams().erase(stream) != 0;
}

// ---- gzip cookie streams ----

struct GzCookie {
    gzFile gz = nullptr;
    int sync_fd = -1;  // duplicate descriptor for the commit, -1 without 'c'
    bool writing = false;
    bool failed = false;
    bool format_checked = false;
};

// zlib counts in unsigned int; stay well inside it.
constexpr size_t kMaxGzChunk = size_t{1} << 30;

ssize_t gz_cookie_read(void* cookie, char* buffer, size_t size) {
    auto* c = static_cast<GzCookie*>(cookie);
    if (c->failed) {
        errno = EIO;
        return -1;
    }
    if (!c->format_checked) {
        c->format_checked = true;
        // zlib passes data without a gzip header through unchanged; here that is corruption.
        if (gzdirect(c->gz)) {
            c->failed = true;
            errno = EIO;
            return -1;
        }
    }
    if (size > kMaxGzChunk) size = kMaxGzChunk;
    const int got = gzread(c->gz, buffer, static_cast<unsigned>(size));
    if (got < 0) {
        c->failed = true;
        errno = EIO;
        return -1;
    }
    if (got == 0 && size > 0) {
        // zlib reports a truncated stream as a quiet end of file with Z_BUF_ERROR pending.
        int err = Z_OK;
        gzerror(c->gz, &err);
        if (err != Z_OK) {
            c->failed = true;
            errno = EIO;
            return -1;
        }
    }
    return got;
}

ssize_t gz_cookie_write(void* cookie, const char* buffer, size_t size) {
    auto* c = static_cast<GzCookie*>(cookie);
    if (c->failed) {
        errno = EIO;
        return 0;
    }
    size_t done = 0;
    while (done < size) {
        const size_t chunk = size - done < kMaxGzChunk ? size - done : kMaxGzChunk;
        const int put = gzwrite(c->gz, buffer + done, static_cast<unsigned>(chunk));
        if (put <= 0) {
            c->failed = true;
            errno = EIO;
            break;
        }
        done += static_cast<size_t>(put);
    }
    return static_cast<ssize_t>(done);
}

int gz_cookie_seek(void* cookie, off64_t* position, int whence) {
    auto* c = static_cast<GzCookie*>(cookie);
    if (c->failed || (whence != SEEK_SET && whence != SEEK_CUR)) {
        errno = EINVAL;
        return -1;
    }
    const z_off_t at = gzseek(c->gz, static_cast<z_off_t>(*position), whence);
    if (at < 0) {
        errno = EINVAL;
        return -1;
    }
    *position = static_cast<off64_t>(at);
    return 0;
}

int gz_cookie_close(void* cookie) {
    auto* c = static_cast<GzCookie*>(cookie);
    int result = c->failed && c->writing ? -1 : 0;
    const int closed = gzclose(c->gz);  // writes the trailer and closes the descriptor
    if (c->writing && closed != Z_OK) result = -1;
    if (c->sync_fd >= 0) {
        if (result == 0) {
            while (fsync(c->sync_fd) != 0) {
                if (errno != EINTR) {
                    result = -1;
                    break;
                }
            }
        }
        close(c->sync_fd);
    }
    delete c;
    return result;
}

FILE* open_gzip(const char* name, const ParsedMode& mode) {
    int flags = O_CLOEXEC;
    const char* gz_mode = "rb";
    if (mode.access == 'w') {
        flags |= O_WRONLY | O_CREAT | O_TRUNC | (mode.exclusive ? O_EXCL : 0);
        gz_mode = "wb";
    } else if (mode.access == 'a') {
        // Appending adds another gzip member; readers go through all members in turn.
        // zlib does the appending; stdio must not try to seek the cookie to its end.
        flags |= O_WRONLY | O_CREAT | O_APPEND;
        gz_mode = "ab";
    } else {
        flags |= O_RDONLY;
    }

    const int fd = open(name, flags, 0666);
    if (fd < 0) return nullptr;
    if (is_directory(fd)) {
        close(fd);
        errno = EISDIR;
        return nullptr;
    }
    int sync_fd = -1;
    if (mode.commit) {
        sync_fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (sync_fd < 0) {
            const int saved = errno;
            close(fd);
            errno = saved;
            return nullptr;
        }
    }
    auto* cookie = new (std::nothrow) GzCookie;
    gzFile gz = cookie != nullptr ? gzdopen(fd, gz_mode) : nullptr;
    if (gz == nullptr) {
        delete cookie;
        close(fd);
        if (sync_fd >= 0) close(sync_fd);
        errno = ENOMEM;
        return nullptr;
    }
    gzbuffer(gz, 64 * 1024);
    cookie->gz = gz;
    cookie->sync_fd = sync_fd;
    cookie->writing = mode.access != 'r';

    const cookie_io_functions_t functions = {gz_cookie_read, gz_cookie_write, gz_cookie_seek,
                                             gz_cookie_close};
    FILE* stream = fopencookie(cookie, mode.access == 'r' ? "r" : "w", functions);
    if (stream == nullptr) {
        const int saved = errno;
        gzclose(gz);
        if (sync_fd >= 0) close(sync_fd);
        delete cookie;
        errno = saved;
    }
    return stream;
}

FILE* open_plain(const char* name, const ParsedMode& mode) {
    char stdio_mode[8];
    size_t n = 0;
    stdio_mode[n++] = mode.access;
    if (mode.update) stdio_mode[n++] = '+';
    stdio_mode[n++] = 'b';
    if (mode.exclusive) stdio_mode[n++] = 'x';
    stdio_mode[n++] = 'e';  // close-on-exec: started programs must not inherit our files
    stdio_mode[n] = '\0';
    FILE* stream = fopen(name, stdio_mode);
    if (stream != nullptr && is_directory(fileno(stream))) {
        fclose(stream);
        errno = EISDIR;
        return nullptr;
    }
    if (stream != nullptr && mode.commit) remember_commit(stream);
    return stream;
}

}  // namespace

FILE* tool_fopen(const char* name, const char* mode) {
    ParsedMode parsed;
    if (name == nullptr || *name == '\0' || !parse_mode(mode, parsed)) {
        errno = EINVAL;
        return nullptr;
    }
    return parsed.gzip ? open_gzip(name, parsed) : open_plain(name, parsed);
}

size_t tool_fread(void* buffer, size_t size, size_t count, FILE* stream) {
    if (buffer == nullptr || stream == nullptr || size == 0 || count > SIZE_MAX / size) return 0;
    return fread(buffer, size, count, stream);
}

size_t tool_fwrite(const void* buffer, size_t size, size_t count, FILE* stream) {
    if (buffer == nullptr || stream == nullptr || size == 0 || count > SIZE_MAX / size) return 0;
    return fwrite(buffer, size, count, stream);
}

int tool_fprintf(FILE* stream, const char* format, ...) {
    if (stream == nullptr || format == nullptr) return -1;
    va_list args;
    va_start(args, format);
    const int written = vfprintf(stream, format, args);
    va_end(args);
    return written;
}

int tool_fflush(FILE* stream) {
    return fflush(stream);
}

int tool_fclose(FILE* stream) {
    if (stream == nullptr) return EOF;
    int result = 0;
    if (forget_commit(stream) && port_fsync_stream(stream) != 0) result = EOF;
    if (fclose(stream) != 0) result = EOF;
    return result;
}
