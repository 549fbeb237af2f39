// The application's global transformation, as the shared library sees it: the application
// registers one callback object that gets the current transformation, sets the identity and
// sets a given one. Box queries that must run in the untransformed system save the current
// transformation, set the identity and restore it afterwards.
//
// Nothing here throws. A missing callback is reported by the assertion convention with the
// text !"Global transformation callback not set" (source global_transformation); a callback
// that fails or throws is reported as !"Global transformation callback failed". In both
// cases the function gives false.
#pragma once

#include <memory>

#include "dbv/common_export.h"

namespace common {

// An affine transformation as a 4x4 matrix of rows; a point p is seen at m * (p, 1).
// The last row is 0 0 0 1 for every transformation the application uses.
struct Transformation_s {
    double m[4][4];

    static Transformation_s Identity() {
        return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    }
    bool operator==(const Transformation_s&) const = default;
};

// What the application implements. Each operation gives false when it failed.
class COMMON_EXPORT GlobalTransformationCallback_i {
  public:
    virtual ~GlobalTransformationCallback_i();
    virtual bool GetCurrentTransformation(Transformation_s* current) = 0;
    virtual bool SetIdentityTransformation() = 0;
    virtual bool SetTransformation(const Transformation_s& transformation) = 0;
};

// Installs `callback` (the library owns it from now on) in place of the one installed
// before, which is destroyed. An empty pointer leaves no callback installed.
COMMON_EXPORT void ResetGlobalTransformationsCallbackInterface(
    std::unique_ptr<GlobalTransformationCallback_i> callback);

// True when a callback is installed.
COMMON_EXPORT bool HasGlobalTransformationsCallback();

// The application's current transformation into *current. REQUIRES: current is not null.
COMMON_EXPORT bool GetGlobalTransformation(Transformation_s* current);

// Makes the identity the application's current transformation.
COMMON_EXPORT bool SetGlobalTransformationToIdentity();

// Makes `transformation` the application's current transformation.
COMMON_EXPORT bool SetGlobalTransformation(const Transformation_s& transformation);

}  // namespace common
