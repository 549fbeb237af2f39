// Durable replacement of the database file through its temporary file. The first save of a
// run writes a new temporary file; once a swap has put it in place, the file that was
// replaced stays under the temporary name and the next save overwrites it in place, syncs
// only its data and swaps the two names again, so a save costs a data flush and a
// directory flush without creating, allocating or deleting a file.
#pragma once

#include <string>

#include "port/file_swap.h"

class file_committer {
  public:
    file_committer() = default;
    file_committer(const file_committer&) = delete;
    file_committer& operator=(const file_committer&) = delete;
    ~file_committer();

    // Makes `file` hold exactly `bytes` on the disk, by way of `temporary` (same directory).
    // Returns 0 when done: the new content is durable under `file`. Returns 1 on failure:
    // `file` keeps its previous content. At any moment, a crash leaves `file` holding either
    // its previous content or the new one, complete. A file removed or replaced by someone
    // else between two commits is simply written anew.
    // REQUIRES: non-empty names; `temporary` is this committer's alone to overwrite.
    int commit(const std::string& file, const std::string& temporary, const std::string& bytes);

    // True when the next commit of the same names overwrites the temporary file in place:
    // the last commit swapped the names and made the swap durable.
    bool reuses_temporary() const { return reusable_; }

  private:
    void reset();

    std::string file_;
    std::string temporary_;
    port_handle directory_ = kNoHandle;  // the directory of both names, kept for its flushes
    // The file under the temporary name may be overwritten in place: its name is on the disk
    // and the database file's name points at the other file.
    bool reusable_ = false;
};
