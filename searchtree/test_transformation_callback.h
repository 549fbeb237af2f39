// A global transformation callback for tests: it keeps the application's transformation in
// a shared record, counts the calls and can be told to fail or throw.
#pragma once

#include <memory>
#include <stdexcept>

#include "searchtree/global_transformation.h"

namespace searchtree_test {

struct TransformationLog {
    common::Transformation_s current = common::Transformation_s::Identity();
    int gets = 0;
    int identities = 0;
    int sets = 0;
    bool fail_get = false;
    bool fail_identity = false;
    bool throw_on_set = false;
};

class RecordingCallback : public common::GlobalTransformationCallback_i {
  public:
    explicit RecordingCallback(std::shared_ptr<TransformationLog> log) : m_log(std::move(log)) {}
    bool GetCurrentTransformation(common::Transformation_s* current) override {
        ++m_log->gets;
        if (m_log->fail_get) return false;
        *current = m_log->current;
        return true;
    }
    bool SetIdentityTransformation() override {
        ++m_log->identities;
        if (m_log->fail_identity) return false;
        m_log->current = common::Transformation_s::Identity();
        return true;
    }
    bool SetTransformation(const common::Transformation_s& t) override {
        ++m_log->sets;
        if (m_log->throw_on_set) throw std::runtime_error("application failed");
        m_log->current = t;
        return true;
    }

  private:
    std::shared_ptr<TransformationLog> m_log;
};

// Installs a recording callback and gives its log.
inline std::shared_ptr<TransformationLog> InstallRecordingCallback() {
    auto log = std::make_shared<TransformationLog>();
    common::ResetGlobalTransformationsCallbackInterface(std::make_unique<RecordingCallback>(log));
    return log;
}

// A transformation that is not the identity: a shift by (dx, 0, 0).
inline common::Transformation_s Shift(double dx) {
    common::Transformation_s t = common::Transformation_s::Identity();
    t.m[0][3] = dx;
    return t;
}

}  // namespace searchtree_test
