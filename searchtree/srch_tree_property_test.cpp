// Property tests of the numbered search trees against a brute-force scan: random boxes of
// widely spread sizes (some beyond the root cell, some big), random masks and queries,
// with and without a transformation, after random removals and after renumbering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "searchtree/srch_tree.h"

namespace {

struct Stored {
    double lo[3], hi[3];
    int mask;
    bool live;
};

// A box the way the tree sees it through the 12-value transformation: the bounding box of
// the eight transformed corners, clamped to +-1e11.
void Transformed(const Stored& s, const double* t, double* lo, double* hi) {
    for (int i = 0; i < 3; ++i) {
        lo[i] = 1e300;
        hi[i] = -1e300;
    }
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {corner & 1 ? s.hi[0] : s.lo[0], corner & 2 ? s.hi[1] : s.lo[1],
                             corner & 4 ? s.hi[2] : s.lo[2]};
        for (int i = 0; i < 3; ++i) {
            const double v = t[i] * p[0] + t[3 + i] * p[1] + t[6 + i] * p[2] + t[9 + i];
            lo[i] = std::clamp(std::min(lo[i], v), -1e11, 1e11);
            hi[i] = std::clamp(std::max(hi[i], v), -1e11, 1e11);
        }
    }
}

class Model {
  public:
    explicit Model(std::mt19937& rng) : m_rng(rng) {}

    void Add(int id) {
        Stored s;
        std::uniform_real_distribution<double> where(-3e4, 3e4);
        const int kind = int(m_rng() % 20);
        // Sizes from a millimetre to beyond an octant; a few leaves far outside the root.
        const double size = kind == 0 ? 7e5 : std::pow(10.0, double(m_rng() % 50) / 10);
        const double offset = kind == 1 ? 4e6 : 0;
        for (int a = 0; a < 3; ++a) {
            s.lo[a] = where(m_rng) + offset;
            s.hi[a] = s.lo[a] + size * (0.2 + double(m_rng() % 9) / 10);
        }
        s.mask = 1 << (m_rng() % 3);
        s.live = true;
        // Corners handed in swapped on some axes: the tree normalises them.
        const double a[3] = {s.hi[0], s.lo[1], s.hi[2]};
        const double b[3] = {s.lo[0], s.hi[1], s.lo[2]};
        ASSERT_EQ(insert_new_leaf(id, s.mask, a, b), 1);
        m_stored[id] = s;
    }

    void Check(const double* transformation) {
        for (int q = 0; q < 40; ++q) {
            double lo[3], hi[3];
            std::uniform_real_distribution<double> where(-3.5e4, 3.5e4);
            for (int a = 0; a < 3; ++a) {
                lo[a] = where(m_rng);
                hi[a] = lo[a] + std::pow(10.0, double(m_rng() % 45) / 10);
            }
            const int mask = int(m_rng() % 7) + 1;
            ASSERT_EQ(srchStartSearch(mask, lo, hi), 1);
            std::vector<int> found;
            for (int id = nextleaf(); id != 0; id = nextleaf()) found.push_back(id);
            std::vector<int> expected;
            for (const auto& [id, s] : m_stored) {
                if (!s.live || !(s.mask & mask)) continue;
                double tlo[3], thi[3];
                Transformed(s, transformation, tlo, thi);
                bool meets = true;
                for (int a = 0; a < 3; ++a) meets = meets && tlo[a] <= hi[a] && thi[a] >= lo[a];
                if (meets) expected.push_back(id);
            }
            std::sort(found.begin(), found.end());
            ASSERT_EQ(found, expected) << "query " << q;
        }
    }

    void RemoveSome() {
        for (auto& [id, s] : m_stored) {
            if (s.live && m_rng() % 3 == 0) {
                delete_new_leaf(id);
                s.live = false;
            }
        }
    }

    // Gives every live leaf a new id from a random permutation (ids swap among leaves).
    void Renumber() {
        std::vector<int> ids;
        for (const auto& [id, s] : m_stored) ids.push_back(id);
        std::vector<int> shuffled = ids;
        std::shuffle(shuffled.begin(), shuffled.end(), m_rng);
        std::map<int, int> mapping;
        for (size_t i = 0; i < ids.size(); ++i) mapping[ids[i]] = shuffled[i];
        srchUpdateSearchTreeAfterCompactingCB(
            0,
            [](void* context, int32_t id, int32_t* renumbered, const char*) {
                *renumbered = (*static_cast<std::map<int, int>*>(context))[id];
                return true;
            },
            &mapping);
        std::map<int, Stored> renumbered;
        for (const auto& [id, s] : m_stored) renumbered[mapping[id]] = s;
        m_stored = renumbered;
    }

  private:
    std::mt19937& m_rng;
    std::map<int, Stored> m_stored;
};

TEST(SrchTreeProperty, MatchesABruteForceScan) {
    const double identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    // A rotation by 90 degrees about z, a scale of 2 along the new z, and a shift.
    const double moved[12] = {0, 1, 0, -1, 0, 0, 0, 0, 2, 1000, -500, 30};
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 rng(seed);
        srchClearSearchTree(2);
        ASSERT_TRUE(srchSetCurrentSearchTree(2));
        srch_set_search_tree_transformation(nullptr);
        Model model(rng);
        for (int id = 1; id <= 4000; ++id) model.Add(id);
        model.Check(identity);
        model.RemoveSome();
        model.Check(identity);
        model.Renumber();
        model.Check(identity);
        model.RemoveSome();
        for (int id = 5001; id <= 5600; ++id) model.Add(id);
        srch_set_search_tree_transformation(moved);
        model.Check(moved);
        srch_set_search_tree_transformation(nullptr);
        srchDeleteSearchTree(2);
        srchSetCurrentSearchTree(1);
    }
}

}  // namespace
