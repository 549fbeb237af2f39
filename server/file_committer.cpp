// The save's state across commits: the kept directory handle and whether the file under the
// temporary name is known to be safe to overwrite in place.
#include "server/file_committer.h"

#include "port/files.h"
#include "port/paths.h"

file_committer::~file_committer() {
    port_close_handle(directory_);
}

void file_committer::reset() {
    port_close_handle(directory_);
    directory_ = kNoHandle;
    reusable_ = false;
}

int file_committer::commit(const std::string& file, const std::string& temporary,
                           const std::string& bytes) {
    if (file != file_ || temporary != temporary_) {
        reset();
        file_ = file;
        temporary_ = temporary;
    }
    if (directory_ == kNoHandle) directory_ = port_open_directory(port_directory_of(file).c_str());
    if (directory_ == kNoHandle) return 1;

    // Reused only when the last swap is on the disk: until then a crash could bring the
    // old names back, and the file under the temporary name would be the database file.
    port_handle target = reusable_ ? port_open_rewritable(temporary.c_str(), false) : kNoHandle;
    reusable_ = false;
    if (target == kNoHandle) {
        // A fresh file: whatever the name held (a file left by a crash, a replaced or
        // linked file) is never written through.
        port_remove_file(temporary.c_str());
        target = port_open_rewritable(temporary.c_str(), true);
        if (target == kNoHandle) return 1;
    }
    // The directory flush after the swap below is also the data's flush where the file
    // system allows it: a commit then costs one flush of the disk, as an append-only log's.
    const int written = port_rewrite_file(target, bytes.data(), bytes.size(), true);
    port_close_handle(target);
    if (written != 0) return 1;

    // The complete, synced file takes the database file's name in one step; the previous
    // file is never removed first, so a crash leaves either the old or the new counters.
    if (port_exchange_files(temporary.c_str(), file.c_str()) == 0) {
        if (port_sync_directory(directory_) != 0) return 1;
        reusable_ = true;
        return 0;
    }
    // No database file to swap with (none yet, or removed), or no swap on this platform.
    return port_replace_file(temporary.c_str(), file.c_str()) == 0 ? 0 : 1;
}
