// POSIX implementation of the committed file writes and file-system queries in files.h.
#include "port/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "port/paths.h"

int port_fsync_stream(FILE* stream) {
    if (stream == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (fflush(stream) != 0) return -1;
    const int fd = fileno(stream);
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    while (fsync(fd) != 0) {
        if (errno != EINTR) return -1;
    }
    return 0;
}

int port_fsync_directory(const char* dir) {
    if (dir == nullptr || *dir == '\0') {
        errno = EINVAL;
        return -1;
    }
    const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int result = 0;
    while (fsync(fd) != 0) {
        if (errno == EINTR) continue;
        // Some file systems do not sync directories at all; their entries are as durable
        // as they can be made.
        if (errno != EINVAL) result = -1;
        break;
    }
    const int saved = errno;
    close(fd);
    errno = saved;
    return result;
}

int port_replace_file(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || *from == '\0' || *to == '\0') {
        errno = EINVAL;
        return -1;
    }
    if (rename(from, to) != 0) return -1;
    const std::string dir = port_directory_of(to);
    return port_fsync_directory(dir.c_str()) == 0 ? 0 : -2;
}

bool port_file_exists(const char* path) {
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0) return false;
    return !S_ISDIR(st.st_mode);
}

int port_remove_file(const char* path) {
    if (path == nullptr || *path == '\0') {
        errno = EINVAL;
        return -1;
    }
    return unlink(path) == 0 ? 0 : -1;
}

bool port_directory_exists(const char* path) {
    struct stat st;
    if (path == nullptr || *path == '\0' || stat(path, &st) != 0) return false;
    return S_ISDIR(st.st_mode);
}

int port_list_directory(const char* dir, std::vector<std::string>& names) {
    if (dir == nullptr || *dir == '\0') {
        errno = EINVAL;
        return -1;
    }
    DIR* handle = opendir(dir);
    if (handle == nullptr) return -1;
    const int dir_fd = dirfd(handle);
    std::vector<std::string> found;
    errno = 0;
    while (const dirent* entry = readdir(handle)) {
        const char* name = entry->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
        bool wanted = entry->d_type == DT_REG || entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // Links and file systems without d_type: ask what the name really is.
            struct stat st;
            wanted =
                fstatat(dir_fd, name, &st, 0) == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode));
        }
        if (wanted) found.emplace_back(name);
        errno = 0;
    }
    const int read_error = errno;
    closedir(handle);
    if (read_error != 0) {
        errno = read_error;
        return -1;
    }
    std::sort(found.begin(), found.end());
    names.insert(names.end(), found.begin(), found.end());
    return static_cast<int>(found.size());
}

FILE* port_open_regular_file(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    // Non-blocking, so that opening a named pipe with no writer does not wait for one.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    int error = 0;
    if (fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = EINVAL;
    } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = errno;
    }
    if (error != 0) {
        close(fd);
        errno = error;
        return nullptr;
    }
    FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return stream;
}
