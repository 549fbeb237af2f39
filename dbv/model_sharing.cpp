// The two model-sharing flags: plain process-wide values (the application sets them from
// its main thread before it asks any time-id question).
#include "dbv/model_sharing.h"

namespace dbv {

namespace {
bool s_runtimeIdsEnabled = false;
bool s_model2RuntimeIdsEnabled = false;
}  // namespace

bool ModelSharingInterface_c::IsRuntimeIdsEnabled() {
    return s_runtimeIdsEnabled;
}

bool ModelSharingInterface_c::SetRuntimeIdsEnabled(bool enabled) {
    s_runtimeIdsEnabled = enabled;
    return true;
}

bool ModelSharingInterface_c::IsModel2RuntimeIdsEnabled() {
    return s_model2RuntimeIdsEnabled;
}

bool ModelSharingInterface_c::SetModel2RuntimeIdsEnabled(bool enabled) {
    s_model2RuntimeIdsEnabled = enabled;
    return true;
}

}  // namespace dbv
