// Tests of the numbered search trees: splitting at the 101st leaf, big and far leaves, the
// middle plane, result order, the search transformation, handing out results, the extent,
// renumbering, the tree table's reports and the printed leaf messages.
#include "searchtree/srch_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "outside/assert_log.h"
#include "searchtree/test_transformation_callback.h"

namespace {

void Leaf(int id, double x0, double y0, double z0, double x1, double y1, double z1, int mask = 1) {
    const double a[3] = {x0, y0, z0};
    const double b[3] = {x1, y1, z1};
    EXPECT_EQ(insert_new_leaf(id, mask, a, b), 1);
}
// A unit cube with its lower corner at (x, y, z).
void Cube(int id, double x, double y, double z, int mask = 1) {
    Leaf(id, x, y, z, x + 1, y + 1, z + 1, mask);
}

std::vector<int> Search(double x0, double y0, double z0, double x1, double y1, double z1,
                        int mask = -1) {
    const double lo[3] = {x0, y0, z0};
    const double hi[3] = {x1, y1, z1};
    EXPECT_EQ(srchStartSearch(mask, lo, hi), 1);
    std::vector<int> ids;
    for (int id = nextleaf(); id != 0; id = nextleaf()) ids.push_back(id);
    EXPECT_EQ(LeafCount(), int(ids.size()));
    return ids;
}
std::vector<int> SearchAll() {
    return Search(-1e11, -1e11, -1e11, 1e11, 1e11, 1e11);
}

std::vector<std::string> AssertTexts() {
    std::vector<std::string> texts;
    for (const auto& r : mainGetAssertRecords()) {
        EXPECT_EQ(r.source_file, "srch_tree");
        texts.push_back(r.condition_text);
    }
    return texts;
}

class SrchTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mainResetAssertions();
        srch_set_search_tree_transformation(nullptr);
        ASSERT_TRUE(srchSetCurrentSearchTree(1));
        srchClearSearchTree(1);
    }
    void TearDown() override {
        for (int tree = 1; tree <= 5; ++tree) srchDeleteSearchTree(tree);
        srch_set_search_tree_transformation(nullptr);
        common::ResetGlobalTransformationsCallbackInterface(nullptr);
        srchSetCurrentSearchTree(1);
        mainResetAssertions();
    }
    // The unit box at the origin, as corners and as extrema, and a result array.
    const double lo[3] = {0, 0, 0}, hi[3] = {1, 1, 1};
    const extrema_s box{0, 0, 0, 1, 1, 1};
    toolArray_c<int> out;
};

TEST_F(SrchTreeTest, HundredthLeafStaysTheHundredAndFirstSplits) {
    // Odd ids in the upper octant of every axis, even ids in the lower one.
    for (int id = 1; id <= 100; ++id)
        Cube(id, id % 2 ? 10 : -11, id % 2 ? 10 : -11, id % 2 ? 10 : -11);
    std::vector<int> expected;
    for (int id = 100; id >= 1; --id) expected.push_back(id);  // newest first
    EXPECT_EQ(SearchAll(), expected);
    EXPECT_EQ(srchGetSearchStatistics().nodes_visited, 1);

    Cube(101, 10, 10, 10);
    EXPECT_EQ(srchGetSearchStatistics().nodes_created, 8);  // counted since the last search
    // Upper octant first: the newest leaf, then the moved ones in their old order reversed.
    expected = {101};
    for (int id = 1; id <= 99; id += 2) expected.push_back(id);
    for (int id = 2; id <= 100; id += 2) expected.push_back(id);
    EXPECT_EQ(SearchAll(), expected);
    const srchSearchStatistics_s stats = srchGetSearchStatistics();
    EXPECT_EQ(stats.nodes_visited, 3);  // the root and the two octants holding leaves
    EXPECT_EQ(stats.leaves_visited, 101);
    EXPECT_EQ(stats.hits, 101);
    EXPECT_EQ(srchGetLeafTotal(), 101);
    // Every leaf can still be removed through the index after the move.
    for (int id = 1; id <= 101; ++id) delete_new_leaf(id);
    EXPECT_TRUE(SearchAll().empty());
    EXPECT_EQ(srchGetLeafTotal(), 0);
}

TEST_F(SrchTreeTest, SmallCellsDoNotSplit) {
    // Once cells are narrower than 500 a node keeps any number of leaves: 300 leaves in one
    // 1e-3 wide spot end in a node 488 wide after 12 halvings of the 2e6 root.
    for (int id = 1; id <= 300; ++id) Leaf(id, 5, 5, 5, 5.001, 5.001, 5.001);
    EXPECT_EQ(SearchAll().size(), 300u);
    EXPECT_EQ(srchGetSearchStatistics().nodes_visited, 13);
}

TEST_F(SrchTreeTest, BigLeavesAndLeavesCentredOutsideTheRootComeAfterTheChildren) {
    Cube(7, 5e6, 0, 0);  // centred outside the root: kept by the root
    EXPECT_EQ(Search(5e6, 0, 0, 5e6 + 1, 1, 1), std::vector<int>{7});
    for (int id = 1; id <= 101; ++id) Cube(id, 10, 10, 10);  // splits the root
    EXPECT_EQ(Search(5e6, 0, 0, 5e6 + 1, 1, 1), std::vector<int>{7});
    EXPECT_EQ(SearchAll().back(), 7);    // now in the root's big leaves, searched after the octants
    Leaf(500, -1e6, 0, 0, 1e6, 1, 1);    // diagonal 2e6 > root width / 2: root's big leaf
    Leaf(501, 10, 10, 10, 6e5, 11, 11);  // too big for an octant (1e6 wide): its big leaf
    const std::vector<int> found = Search(0, 0, 0, 20, 20, 20);
    ASSERT_EQ(found.size(), 103u);
    EXPECT_EQ(found[101], 501);  // the octant's own leaves, then its big leaf
    EXPECT_EQ(found[102], 500);  // the root's big leaf last
    delete_new_leaf(500);
    delete_new_leaf(501);
    EXPECT_EQ(Search(0, 0, 0, 20, 20, 20).size(), 101u);
}

TEST_F(SrchTreeTest, MiddlePlaneGoesToTheUpperOctant) {
    for (int id = 1000; id <= 1100; ++id) Cube(id, -20, -20, -20);  // splits the root
    Leaf(1, -1, -1, -1, 1, 1, 1);  // centred on all three middle planes
    Cube(2, 10, 10, 10);
    // The upper octant is searched first and holds both; the lower octant's leaves follow.
    const std::vector<int> found = SearchAll();
    ASSERT_EQ(found.size(), 103u);
    EXPECT_EQ(std::vector<int>(found.begin(), found.begin() + 3), (std::vector<int>{2, 1, 1100}));
}

TEST_F(SrchTreeTest, ClassMaskAndTouchingBoxes) {
    Cube(1, 0, 0, 0, 0b01);
    Cube(2, 0, 0, 0, 0b10);
    EXPECT_EQ(Search(1, 1, 1, 2, 2, 2, 0b10), std::vector<int>{2});  // corners touch
    EXPECT_TRUE(Search(1.5, 0, 0, 2, 1, 1).empty());
    // Query bounds far beyond any stored coordinate (and beyond single precision).
    EXPECT_EQ(Search(-1e300, -1e300, -1e300, 1e300, 1e300, 1e300).size(), 2u);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Search(-inf, 0.5, 0.5, inf, 0.5, 0.5).size(), 2u);
    EXPECT_TRUE(Search(1e300, 0, 0, inf, 1, 1).empty());
    EXPECT_EQ(srchStartSearch(0, lo, hi), 0);
    EXPECT_EQ(srchStartSearch(1, nullptr, hi), 0);
}

TEST_F(SrchTreeTest, NextLeafAfterTheLastGivesZeroAndStopEmpties) {
    Cube(4, 0, 0, 0);
    Cube(5, 0, 0, 0);
    const int mask = 1;
    const double x0 = 0, x1 = 1;
    startsearch(&mask, &x0, &x0, &x0, &x1, &x1, &x1);
    EXPECT_EQ(LeafCount(), 2);
    for (int expected : {5, 4, 0, 0}) EXPECT_EQ(nextleaf(), expected);
    srchStopSearch();
    EXPECT_EQ(LeafCount(), 0);
}

TEST_F(SrchTreeTest, TransformationMovesTheStoredBoxes) {
    Leaf(1, 0, 0, 0, 1, 1, 1);
    const double shift[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1000, 0, 0};
    srch_set_search_tree_transformation(shift);
    EXPECT_EQ(Search(1000, 0, 0, 1001, 1, 1), std::vector<int>{1});
    EXPECT_TRUE(Search(0, 0, 0, 0.5, 1, 1).empty());
    // Axes swapped: x becomes y, y becomes x.
    Leaf(2, 0, 10, 0, 1, 11, 1);
    const double swap[12] = {0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0};
    srch_set_search_tree_transformation(swap);
    EXPECT_EQ(Search(10, 0, 0, 11, 1, 1), std::vector<int>{2});
    const double bad[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, std::nan(""), 0, 0};
    srch_set_search_tree_transformation(bad);
    EXPECT_EQ(AssertTexts(),
              std::vector<std::string>{"!\"Search tree transformation is not finite\""});
    EXPECT_EQ(Search(10, 0, 0, 11, 1, 1), std::vector<int>{2});  // the swap is kept
}

TEST_F(SrchTreeTest, MaskZeroHandsOutTheRestOfThePreviousSearch) {
    for (int id = 1; id <= 3; ++id) Cube(id, 0, 0, 0);
    ASSERT_TRUE(srchGetObjectsFromSearchTree(&box, out, 1, false));
    ASSERT_EQ(out.count(), 3);
    EXPECT_EQ(out[0], 3);
    srchStartSearch(1, lo, hi);
    EXPECT_EQ(nextleaf(), 3);
    out.clear();
    ASSERT_TRUE(srchGetObjectsFromSearchTree(nullptr, out, 0, false));
    ASSERT_EQ(out.count(), 2);
    EXPECT_EQ((std::vector<int>{out[0], out[1]}), (std::vector<int>{2, 1}));
    ASSERT_TRUE(srchGetObjectsFromSearchTree(&box, out, 0, false));  // nothing left
    EXPECT_EQ(out.count(), 2);
    EXPECT_EQ(nextleaf(), 0);
}

TEST_F(SrchTreeTest, IdentityFlagSetsAndRestoresTheGlobalTransformation) {
    Cube(1, 0, 0, 0);
    EXPECT_FALSE(srchGetObjectsFromSearchTree(&box, out, 1, true));  // no callback
    EXPECT_EQ(out.count(), 0);
    ASSERT_EQ(mainGetAssertRecords().size(), 1u);
    EXPECT_EQ(mainGetAssertRecords()[0].condition_text,
              "!\"Global transformation callback not set\"");

    auto log = searchtree_test::InstallRecordingCallback();
    log->current = searchtree_test::Shift(7);
    EXPECT_TRUE(srchGetObjectsFromSearchTree(&box, out, 1, true));
    EXPECT_EQ(out.count(), 1);
    EXPECT_EQ(log->identities, 1);
    EXPECT_EQ(log->current, searchtree_test::Shift(7));

    log->fail_identity = true;  // restored even when setting the identity fails
    log->current = searchtree_test::Shift(3);
    EXPECT_FALSE(srchGetObjectsFromSearchTree(&box, out, 1, true));
    EXPECT_EQ(out.count(), 1);
    EXPECT_EQ(log->current, searchtree_test::Shift(3));
    EXPECT_EQ(log->sets, 2);

    log->fail_identity = false;
    srchDeleteSearchTree(1);  // failure after the identity was set: restored as well
    EXPECT_FALSE(srchGetObjectsFromSearchTree(&box, out, 1, true));
    EXPECT_EQ(log->current, searchtree_test::Shift(3));
}

TEST_F(SrchTreeTest, ExtentGrowsWithLeavesAndIsRecomputedOnRequest) {
    double v[6];
    const auto extent = [&v] {
        gettreeminmax(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        return std::vector<double>(v, v + 6);
    };
    EXPECT_EQ(extent(), (std::vector<double>{1e11, 1e11, 1e11, -1e11, -1e11, -1e11}));
    Leaf(1, 5, 6, 7, -1, -2, -3);  // corners in any order
    Cube(2, 100, 0, 0);
    EXPECT_EQ(extent(), (std::vector<double>{-1, -2, -3, 101, 6, 7}));
    delete_new_leaf(2);
    gettreeminmax(&v[0], nullptr, nullptr, &v[3], nullptr, nullptr);
    EXPECT_EQ(v[3], 101);
    srch_calculate_tree_minmax();
    EXPECT_EQ(extent(), (std::vector<double>{-1, -2, -3, 5, 6, 7}));
}

TEST_F(SrchTreeTest, RenumberingMovesTheIndexAlongEvenWhenIdsSwap) {
    Cube(1, 0, 0, 0);
    Cube(2, 50, 0, 0);
    Cube(3, 100, 0, 0);
    std::vector<std::string> labels;
    int context = 42;
    const bool ok = srchUpdateSearchTreeAfterCompactingCB(
        17,
        [&labels](void* context, int32_t id, int32_t* renumbered, const char* label) {
            labels.push_back(label);
            EXPECT_EQ(*static_cast<int*>(context), 42);
            if (id == 3) return false;
            *renumbered = id == 1 ? 2 : 1;
            return true;
        },
        &context);
    EXPECT_TRUE(ok);
    EXPECT_EQ(labels, std::vector<std::string>(3, "UpdateCurrentLeafId"));
    EXPECT_EQ(Search(0, 0, 0, 1, 1, 1), std::vector<int>{2});
    EXPECT_EQ(Search(50, 0, 0, 51, 1, 1), std::vector<int>{1});
    delete_new_leaf(2);  // the leaf at x 0
    EXPECT_TRUE(Search(0, 0, 0, 1, 1, 1).empty());
    EXPECT_EQ(Search(-1, -1, -1, 200, 2, 2), (std::vector<int>{3, 1}));
}

TEST_F(SrchTreeTest, RenumberingRefusesIdZeroAndSurvivesAThrowingCallback) {
    Cube(1, 0, 0, 0);
    Cube(2, 0, 0, 0);
    srchUpdateSearchTreeAfterCompactingCB(
        0,
        [](void*, int32_t, int32_t* renumbered, const char*) {
            *renumbered = 0;
            return true;
        },
        nullptr);
    srchUpdateSearchTreeAfterCompactingCB(
        0, [](void*, int32_t, int32_t*, const char*) -> bool { throw 1; }, nullptr);
    EXPECT_EQ(AssertTexts(), (std::vector<std::string>{"!\"Renumbering to id 0 refused\"",
                                                       "!\"Renumbering to id 0 refused\"",
                                                       "!\"Renumbering callback failed\""}));
    EXPECT_EQ(SearchAll(), (std::vector<int>{2, 1}));
}

TEST_F(SrchTreeTest, AnIdStoredTwiceIsRemovedEverywhere) {
    Cube(9, 0, 0, 0);
    Cube(9, 500, 0, 0);
    Cube(8, 0, 0, 0);
    EXPECT_EQ(SearchAll().size(), 3u);
    removeleaf(nullptr);
    const int nine = 9;
    removeleaf(&nine);
    EXPECT_EQ(SearchAll(), std::vector<int>{8});
    delete_new_leaf(12345);  // never stored: nothing happens
    EXPECT_EQ(srchGetLeafTotal(), 1);
}

TEST_F(SrchTreeTest, CreatingAnExistingTreeDeletesTheOldOneCompletely) {
    Cube(1, 0, 0, 0);
    srchCreateSearchTree(1);
    EXPECT_EQ(AssertTexts(), std::vector<std::string>{"s_apTreeRoot[TreeNumber] == nullptr"});
    EXPECT_EQ(srchGetLeafTotal(), 0);
    EXPECT_TRUE(SearchAll().empty());
    Cube(1, 0, 0, 0);
    delete_new_leaf(1);
    EXPECT_TRUE(SearchAll().empty());
}

TEST_F(SrchTreeTest, BadTreeNumbersAreReportedAndTreesAreSeparate) {
    EXPECT_FALSE(srchSetCurrentSearchTree(0));
    EXPECT_FALSE(srchSetCurrentSearchTree(6));
    srchCreateSearchTree(0);
    srchCreateSearchTree(6);
    srchDeleteSearchTree(-1);
    srchDeleteSearchTree(6);
    srchDeleteSearchTree(0);  // slot 0 exists: no report
    EXPECT_EQ(AssertTexts(),
              (std::vector<std::string>{
                  "!\"Invalid search tree number\"", "!\"Invalid search tree number\"",
                  "TreeNumber > 0 && TreeNumber < 6", "TreeNumber > 0 && TreeNumber < 6",
                  "Tree >= 0 && Tree < 6", "Tree >= 0 && Tree < 6"}));
    EXPECT_EQ(srchGetCurrentSearchTree(), 1);
    // Valid trees are separate and the current one is used.
    srchCreateSearchTree(3);
    Cube(1, 0, 0, 0);
    ASSERT_TRUE(srchSetCurrentSearchTree(3));
    EXPECT_EQ(srchGetCurrentSearchTree(), 3);
    Cube(2, 0, 0, 0);
    EXPECT_EQ(SearchAll(), std::vector<int>{2});
    ASSERT_TRUE(srchSetCurrentSearchTree(1));
    EXPECT_EQ(SearchAll(), std::vector<int>{1});
}

TEST_F(SrchTreeTest, MissingTreeIsReportedAndFindsNothing) {
    Cube(1, 0, 0, 0);
    Search(0, 0, 0, 1, 1, 1);
    srchDeleteSearchTree(1);
    mainResetAssertions();
    Cube(2, 0, 0, 0);
    EXPECT_EQ(srchStartSearch(1, lo, hi), 0);
    EXPECT_EQ(LeafCount(), 0);
    EXPECT_EQ(nextleaf(), 0);
    double v = 3;
    gettreeminmax(&v, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(v, 3);
    srch_calculate_tree_minmax();
    delete_new_leaf(1);
    EXPECT_FALSE(srchGetObjectsFromSearchTree(&box, out, 1, false));
    EXPECT_EQ(out.count(), 0);
    EXPECT_EQ(AssertTexts(), std::vector<std::string>(5, "!\"Search tree does not exist\""));
}

TEST_F(SrchTreeTest, LeafProblemsArePrinted) {
    const int zero = 0, id = 5, mask = 3;
    const double a = 1, far = 1e11, huge = 6e6, minus_huge = -6e6;
    ::testing::internal::CaptureStdout();
    fnewleaf(&zero, &mask, &a, &a, &a, &a, &a, &a);
    fnewleaf(&id, &mask, &a, &a, &a, &far, &a, &a);
    fnewleaf(&id, &mask, &minus_huge, &minus_huge, &minus_huge, &huge, &huge, &huge);
    fnewleaf(nullptr, &mask, &a, &a, &a, &a, &a, &a);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "*** ERROR: zero-object number 0 \n"
              "*** Error: object Id: 5 Mask: 3 too far for searchbox (>100000000000.000000)\n"
              "*** Warning: object far away id 5 object_mask 3\n");
    EXPECT_EQ(SearchAll(), std::vector<int>{5});  // the far-away one is stored
    EXPECT_EQ(insert_new_leaf(1, 1, nullptr, &a), 0);
}

}  // namespace
