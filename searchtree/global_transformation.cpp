// The registered global transformation callback and the guarded calls into it: the
// application's code must not throw through the library, and a missing callback is a
// reported failure rather than a crash.
#include "searchtree/global_transformation.h"

#include <utility>

#include "outside/assert_log.h"

namespace common {
namespace {

constexpr const char* kSource = "global_transformation";

std::unique_ptr<GlobalTransformationCallback_i>& InstalledCallback() {
    static std::unique_ptr<GlobalTransformationCallback_i> s_callback;
    return s_callback;
}

// Runs `call` on the installed callback; reports a missing callback, a false result and an
// exception alike by the assertion convention.
template <typename Call>
bool Guarded(Call call) {
    GlobalTransformationCallback_i* callback = InstalledCallback().get();
    if (!callback) {
        QM_ASSERT(!"Global transformation callback not set", kSource);
        return false;
    }
    bool ok = false;
    try {
        ok = call(*callback);
    } catch (...) {
        ok = false;
    }
    if (!ok) QM_ASSERT(!"Global transformation callback failed", kSource);
    return ok;
}

}  // namespace

GlobalTransformationCallback_i::~GlobalTransformationCallback_i() = default;

void ResetGlobalTransformationsCallbackInterface(
    std::unique_ptr<GlobalTransformationCallback_i> callback) {
    InstalledCallback() = std::move(callback);
}

bool HasGlobalTransformationsCallback() {
    return InstalledCallback() != nullptr;
}

bool GetGlobalTransformation(Transformation_s* current) {
    if (!current) return false;
    return Guarded([current](GlobalTransformationCallback_i& c) {
        return c.GetCurrentTransformation(current);
    });
}

bool SetGlobalTransformationToIdentity() {
    return Guarded([](GlobalTransformationCallback_i& c) { return c.SetIdentityTransformation(); });
}

bool SetGlobalTransformation(const Transformation_s& transformation) {
    return Guarded([&transformation](GlobalTransformationCallback_i& c) {
        return c.SetTransformation(transformation);
    });
}

}  // namespace common
