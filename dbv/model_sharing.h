// The application's model-sharing switches: whether time ids are run-time ids of the
// current database's domain (then "changed after" is the domain's causality order) or plain
// numbers, and the same switch for the second model generation, which is only stored here.
// Both are process-wide, false when the library is loaded, set by the application before
// use and read without locking (one thread at a time).
#pragma once

#include "dbv/common_export.h"

namespace dbv {

class COMMON_EXPORT ModelSharingInterface_c {
  public:
    // Whether run-time ids are enabled (false until set).
    static bool IsRuntimeIdsEnabled();
    // Enables or disables run-time ids. Always true.
    static bool SetRuntimeIdsEnabled(bool enabled);

    // Whether run-time ids of the second model generation are enabled (false until set).
    static bool IsModel2RuntimeIdsEnabled();
    // Stores that flag. Always true.
    static bool SetModel2RuntimeIdsEnabled(bool enabled);
};

}  // namespace dbv
