// The process-wide table of numbered search trees and the exported leaf, search and
// result functions over it. The octree itself is srch_octree.cpp.
#include "searchtree/srch_tree.h"

#include <cmath>
#include <cstdio>

#include "outside/assert_log.h"
#include "searchtree/global_transformation.h"
#include "searchtree/srch_octree.h"

namespace {

using srch_detail::Box;
using srch_detail::kFarLimit;
using srch_detail::Octree;

constexpr const char* kSource = "srch_tree";
constexpr int kTreeSlots = 6;  // index 0 exists but only numbers 1 to 5 are usable
// A box reaching beyond this on all six bounds at once is stored with a warning.
constexpr double kFarAway = 5e6;

struct TreeState {
    Octree tree;
    toolArray_c<int> results;
    int read_position = 0;

    void DropResults() {
        results.release();
        read_position = 0;
    }
};

TreeState s_trees[kTreeSlots];
// Root presence per tree number, named as the assertion texts name it.
const void* s_apTreeRoot[kTreeSlots] = {};
int32_t s_CurrentTreeNumber = 1;
srch_detail::Transformation s_transformation = srch_detail::IdentityTransformation();
double s_split_size = srch_detail::kDefaultSplitSize;
srch_detail::SearchStatistics s_statistics;

// The current tree's state, or null (reported) when the current number is out of range.
TreeState* CurrentState() {
    if (!QM_ASSERT(s_CurrentTreeNumber > 0 && s_CurrentTreeNumber < 6, kSource)) return nullptr;
    return &s_trees[s_CurrentTreeNumber];
}

// The current tree when it exists; otherwise reported and null.
TreeState* ExistingCurrentTree() {
    TreeState* state = CurrentState();
    if (!state) return nullptr;
    if (!state->tree.Exists()) {
        QM_ASSERT(!"Search tree does not exist", kSource);
        return nullptr;
    }
    return state;
}

void SyncRoot(int number) {
    s_apTreeRoot[number] = s_trees[number].tree.Exists() ? &s_trees[number] : nullptr;
}

bool Inside(double v, double limit) {
    return -limit < v && v < limit;
}

// Runs the search on `state` and leaves the ids in its results. False when the results
// could not grow.
bool RunSearch(TreeState* state, int mask, const Box& query) {
    s_statistics = {};
    state->read_position = 0;
    state->results.clear();
    const bool ok =
        state->tree.Search(query, mask, s_transformation, &state->results, &s_statistics);
    if (!ok) QM_ASSERT(!"Search results could not grow", kSource);
    return ok;
}

}  // namespace

void srchCreateSearchTree(int TreeNumber) {
    if (!QM_ASSERT(TreeNumber > 0 && TreeNumber < 6, kSource)) return;
    if (!QM_ASSERT(s_apTreeRoot[TreeNumber] == nullptr, kSource)) {
        // Starting afresh over the old nodes would leave them unreachable and the index
        // naming them: the old tree goes completely.
        srchDeleteSearchTree(TreeNumber);
    }
    s_split_size = srch_detail::kDefaultSplitSize;
    if (!s_trees[TreeNumber].tree.Create(&s_statistics)) {
        QM_ASSERT(!"Search tree could not be created", kSource);
    }
    SyncRoot(TreeNumber);
}

void srchDeleteSearchTree(int Tree) {
    if (!QM_ASSERT(Tree >= 0 && Tree < 6, kSource)) return;
    TreeState& state = s_trees[Tree];
    state.tree.Destroy();
    state.DropResults();
    SyncRoot(Tree);
}

void srchClearSearchTree(int TreeNumber) {
    srchDeleteSearchTree(TreeNumber);
    srchCreateSearchTree(TreeNumber);
}

bool srchSetCurrentSearchTree(int32_t number) {
    if (number < 1 || number > 5) {
        QM_ASSERT(!"Invalid search tree number", kSource);
        return false;
    }
    s_CurrentTreeNumber = number;
    return true;
}

int32_t srchGetCurrentSearchTree() {
    return s_CurrentTreeNumber;
}

void fnewleaf(const int* id, const int* mask, const double* x1, const double* y1, const double* z1,
              const double* x2, const double* y2, const double* z2) {
    if (!id || !mask || !x1 || !y1 || !z1 || !x2 || !y2 || !z2) return;
    if (*id == 0) {
        std::printf("*** ERROR: zero-object number %d \n", *id);
        std::fflush(stdout);
        return;
    }
    const double first[3] = {*x1, *y1, *z1};
    const double second[3] = {*x2, *y2, *z2};
    Box box;
    bool near = true;
    for (int a = 0; a < 3; ++a) {
        box.min[a] = std::fmin(first[a], second[a]);
        box.max[a] = std::fmax(first[a], second[a]);
        // NaN fails the test as well, so it cannot reach the tree.
        near = near && Inside(first[a], kFarLimit) && Inside(second[a], kFarLimit);
    }
    if (!near) {
        std::printf("*** Error: object Id: %d Mask: %d too far for searchbox (>%lf)\n", *id, *mask,
                    kFarLimit);
        std::fflush(stdout);
        return;
    }
    bool far_away = true;
    for (int a = 0; a < 3; ++a)
        far_away = far_away && box.min[a] < -kFarAway && box.max[a] > kFarAway;
    if (far_away) {
        std::printf("*** Warning: object far away id %d object_mask %d\n", *id, *mask);
        std::fflush(stdout);
    }

    TreeState* state = ExistingCurrentTree();
    if (!state) return;
    if (!state->tree.Insert(*id, *mask, box, s_split_size, &s_statistics)) {
        QM_ASSERT(!"Leaf could not be stored: out of memory", kSource);
    }
}

int insert_new_leaf(int id, int mask, const double* corner1, const double* corner2) {
    if (!corner1 || !corner2) return 0;
    fnewleaf(&id, &mask, &corner1[0], &corner1[1], &corner1[2], &corner2[0], &corner2[1],
             &corner2[2]);
    return 1;
}

void removeleaf(const int* id) {
    if (!id || *id == 0) return;
    TreeState* state = CurrentState();
    if (state) state->tree.Remove(*id);
}

int delete_new_leaf(int id) {
    removeleaf(&id);
    return 1;
}

int srchStartSearch(int mask, const double* minimum, const double* maximum) {
    if (mask == 0 || !minimum || !maximum) return 0;
    TreeState* state = CurrentState();
    if (!state) return 0;
    if (!state->tree.Exists()) {
        state->results.clear();
        state->read_position = 0;
        QM_ASSERT(!"Search tree does not exist", kSource);
        return 0;
    }
    const Box query{{minimum[0], minimum[1], minimum[2]}, {maximum[0], maximum[1], maximum[2]}};
    RunSearch(state, mask, query);
    return 1;
}

void startsearch(const int* mask, const double* min_x, const double* min_y, const double* min_z,
                 const double* max_x, const double* max_y, const double* max_z) {
    if (!mask || !min_x || !min_y || !min_z || !max_x || !max_y || !max_z) return;
    const double minimum[3] = {*min_x, *min_y, *min_z};
    const double maximum[3] = {*max_x, *max_y, *max_z};
    srchStartSearch(*mask, minimum, maximum);
}

int nextleaf() {
    TreeState* state = CurrentState();
    if (!state || state->read_position >= state->results.count()) return 0;
    return state->results[state->read_position++];
}

int LeafCount() {
    TreeState* state = CurrentState();
    return state ? state->results.count() : 0;
}

void srchStopSearch() {
    TreeState* state = CurrentState();
    if (!state) return;
    state->results.clear();
    state->read_position = 0;
}

void gettreeminmax(double* min_x, double* min_y, double* min_z, double* max_x, double* max_y,
                   double* max_z) {
    TreeState* state = ExistingCurrentTree();
    if (!state) return;
    const Box extent = state->tree.Extent();
    double* outputs[6] = {min_x, min_y, min_z, max_x, max_y, max_z};
    for (int i = 0; i < 6; ++i) {
        if (outputs[i]) *outputs[i] = i < 3 ? extent.min[i] : extent.max[i - 3];
    }
}

void srch_calculate_tree_minmax() {
    TreeState* state = ExistingCurrentTree();
    if (state) state->tree.RecomputeExtent();
}

void srch_set_search_tree_transformation(const double* transformation) {
    if (!transformation) {
        s_transformation = srch_detail::IdentityTransformation();
        return;
    }
    for (int i = 0; i < 12; ++i) {
        if (!std::isfinite(transformation[i])) {
            QM_ASSERT(!"Search tree transformation is not finite", kSource);
            return;
        }
    }
    srch_detail::Transformation t;
    for (int a = 0; a < 3; ++a) {
        for (int i = 0; i < 3; ++i) t.axis[a][i] = transformation[a * 3 + i];
        t.origin[a] = transformation[9 + a];
    }
    const srch_detail::Transformation identity = srch_detail::IdentityTransformation();
    bool same = true;
    for (int a = 0; a < 3; ++a) {
        for (int i = 0; i < 3; ++i) same = same && t.axis[a][i] == identity.axis[a][i];
        same = same && t.origin[a] == 0;
    }
    t.identity = same;
    s_transformation = t;
}

bool srchGetObjectsFromSearchTree(const extrema_s* box, toolArray_c<int>& out, int class_mask,
                                  bool identity_transformation) {
    common::Transformation_s saved;
    if (identity_transformation) {
        if (!common::GetGlobalTransformation(&saved)) return false;
        if (!common::SetGlobalTransformationToIdentity()) {
            common::SetGlobalTransformation(saved);
            return false;
        }
    }
    bool ok = false;
    if (TreeState* state = ExistingCurrentTree()) {
        ok = true;
        if (class_mask != 0 && box) {
            const Box query{{box->min_x, box->min_y, box->min_z},
                            {box->max_x, box->max_y, box->max_z}};
            ok = RunSearch(state, class_mask, query);
        }
        const int rest = state->results.count() - state->read_position;
        if (ok && !out.append(state->results.data() + state->read_position, rest)) {
            QM_ASSERT(!"Search results could not be handed out", kSource);
            ok = false;
        }
        if (ok) state->read_position = state->results.count();
    }
    if (identity_transformation && !common::SetGlobalTransformation(saved)) ok = false;
    return ok;
}

bool srchUpdateSearchTreeAfterCompactingCB(int32_t /*table_number*/,
                                           const srchRenumberCallback_f& callback, void* context) {
    TreeState* state = CurrentState();
    if (!state || !callback) return true;
    bool stopped = false;
    state->tree.Renumber([&](int32_t id) -> int32_t {
        if (stopped) return 0;
        int32_t renumbered = id;
        bool take = false;
        try {
            take = callback(context, id, &renumbered, "UpdateCurrentLeafId");
        } catch (...) {
            QM_ASSERT(!"Renumbering callback failed", kSource);
            stopped = true;
            return 0;
        }
        if (!take) return 0;
        if (renumbered == 0) {
            QM_ASSERT(!"Renumbering to id 0 refused", kSource);
            return 0;
        }
        return renumbered;
    });
    return true;
}

srchSearchStatistics_s srchGetSearchStatistics() {
    return {s_statistics.nodes_created, s_statistics.leaves_visited, s_statistics.nodes_visited,
            s_statistics.boxes_tested, s_statistics.hits};
}

int64_t srchGetLeafTotal() {
    TreeState* state = CurrentState();
    return state ? int64_t(state->tree.LeafCount()) : 0;
}

int64_t srchGetTreeMemoryBytes() {
    TreeState* state = CurrentState();
    return state ? int64_t(state->tree.MemoryBytes()) : 0;
}
