// POSIX implementation of the in-place rewrites and atomic swaps of file_swap.h. The swap
// is Linux's renameat2 with RENAME_EXCHANGE; elsewhere it reports ENOSYS, and the caller
// falls back to replacing the file by rename. Likewise the rewrite that leaves its flush to
// the directory's is Linux's on ext2/3/4 and XFS only; elsewhere every rewrite is synced.
#include "port/file_swap.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#if defined(__linux__)
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace {

template <class Call>
int retry_interrupted(Call call) {
    int rc;
    do rc = call();
    while (rc != 0 && errno == EINTR);
    return rc;
}

// True when a directory sync on the file's file system ends with a flush of the disk's
// cache that covers every write finished before the sync began: ext2/3/4 (a journal commit
// with a cache flush ahead of its commit block, or an explicit flush when the commit had
// already happened) and XFS (a log force with a cache flush). Network, copy-on-write and
// layered file systems need the file's own sync.
bool directory_sync_flushes_data([[maybe_unused]] port_handle handle) {
#if defined(__linux__)
    struct statfs fs;
    if (fstatfs(handle, &fs) != 0) return false;
    return fs.f_type == EXT4_SUPER_MAGIC || fs.f_type == XFS_SUPER_MAGIC;
#else
    return false;
#endif
}

// Writes the file's changed pages to the disk and waits until the disk has them, without
// flushing its cache. Only for a file whose blocks are all allocated and written already
// (an overwrite of the same size): nothing else is needed to read the data back.
int write_out_without_flush([[maybe_unused]] port_handle handle) {
#if defined(__linux__)
    return retry_interrupted([&] {
        return sync_file_range(
            handle, 0, 0,
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    });
#else
    errno = ENOSYS;
    return -1;
#endif
}

}  // namespace

port_handle port_open_rewritable(const char* path, bool create) {
    if (path == nullptr || path[0] == '\0') {
        errno = EINVAL;
        return kNoHandle;
    }
    int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW;
    if (create) flags |= O_CREAT | O_EXCL;
    const int fd = open(path, flags, 0666);
    if (fd < 0) return kNoHandle;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (!create && st.st_nlink != 1)) {
        close(fd);
        errno = EINVAL;
        return kNoHandle;
    }
    return fd;
}

int port_rewrite_file(port_handle handle, const void* data, size_t size,
                      bool directory_sync_follows) {
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(handle, bytes + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += static_cast<size_t>(n);
    }
    struct stat st;
    if (fstat(handle, &st) != 0) return -1;
    const bool same_size = static_cast<size_t>(st.st_size) == size;
    if (!same_size &&
        retry_interrupted([&] { return ftruncate(handle, static_cast<off_t>(size)); }) != 0)
        return -1;
    if (same_size && directory_sync_follows && directory_sync_flushes_data(handle) &&
        write_out_without_flush(handle) == 0)
        return 0;
#if defined(__APPLE__)
    return retry_interrupted([&] { return fsync(handle); });
#else
    return retry_interrupted([&] { return fdatasync(handle); });
#endif
}

int port_exchange_files(const char* a, const char* b) {
    if (a == nullptr || b == nullptr || a[0] == '\0' || b[0] == '\0') {
        errno = EINVAL;
        return -1;
    }
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    return renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) == 0 ? 0 : -1;
#else
    errno = ENOSYS;
    return -1;
#endif
}

port_handle port_open_directory(const char* dir) {
    if (dir == nullptr || dir[0] == '\0') {
        errno = EINVAL;
        return kNoHandle;
    }
    const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? kNoHandle : fd;
}

int port_sync_directory(port_handle handle) {
    if (retry_interrupted([&] { return fsync(handle); }) == 0) return 0;
    // Some file systems do not sync directories at all; their entries are as durable as
    // they can be made.
    return errno == EINVAL ? 0 : -1;
}

void port_close_handle(port_handle handle) {
    if (handle != kNoHandle) close(handle);
}

bool port_write_to_memory(bool (*write)(FILE* stream, void* context), void* context,
                          std::string& out) {
    out.clear();
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    if (stream == nullptr) return false;
    const bool written = write(stream, context);
    const bool closed = fclose(stream) == 0;
    if (written && closed && buffer != nullptr) out.assign(buffer, size);
    std::free(buffer);
    return written && closed;
}
