// Tests of the loose quadtree: opening, growth (edges, directions, the far limit), result
// order, cursors, deletion and class changes, objects stored twice and null arguments.
#include "searchtree/search_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "outside/assert_log.h"
#include "searchtree/search_tree_inspect.h"

namespace {

using namespace searchtree;

extrema_s Box(double x0, double y0, double x1, double y1) {
    return {x0, y0, 0, x1, y1, 1};
}

// Objects are just distinct addresses.
int g_objects[16];
void* Obj(int i) {
    return &g_objects[i];
}

// Every object the query hands out, in order.
std::vector<void*> Query(const SearchTreeType_s* tree, extrema_s box, int32_t mask = -1) {
    PointerType_s* cursor = GetObjectsPointer(tree, box, mask);
    std::vector<void*> found;
    void* object = nullptr;
    while (GetNextObject(cursor, &object, nullptr, nullptr)) found.push_back(object);
    DelObjectsPointer(&cursor);
    return found;
}

class SearchTreeTest : public ::testing::Test {
  protected:
    void SetUp() override { mainResetAssertions(); }
    void TearDown() override {
        CloseSearchTree(&tree);
        mainResetAssertions();
    }
    void Open(extrema_s box, double cell) {
        tree = OpenSearchTree(box, cell);
        ASSERT_NE(tree, nullptr);
    }
    void ExpectRoot(double x0, double x1, double y0, double y1) {
        const SearchTreeShape_s s = InspectSearchTree(tree);
        EXPECT_EQ((std::vector<double>{s.root_min_x, s.root_max_x, s.root_min_y, s.root_max_y}),
                  (std::vector<double>{x0, x1, y0, y1}));
    }
    SearchTreeType_s* tree = nullptr;
};

TEST_F(SearchTreeTest, OpeningFailsForUnusableSizesAndBoxes) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // The last two: halving the cell gives 0; a cell too small to change coordinates of 1e17.
    struct Case {
        extrema_s box;
        double cell;
    } cases[] = {
        {Box(0, 0, 10, 10), 0},     {Box(0, 0, 10, 10), -1},
        {Box(0, 0, 10, 10), nan},   {Box(0, 0, 10, 10), inf},
        {Box(0, 0, inf, 10), 1},    {Box(nan, 0, 10, 10), 1},
        {Box(-inf, 0, 10, 10), 1},  {Box(0, 0, 0, 0), std::numeric_limits<double>::denorm_min()},
        {Box(1e17, 0, 1e17, 10), 1}};
    for (const Case& c : cases) {
        mainResetAssertions();
        SearchTreeType_s* t = OpenSearchTree(c.box, c.cell);
        EXPECT_EQ(t, nullptr) << c.cell << " " << c.box.min_x;
        ASSERT_EQ(mainGetAssertRecords().size(), 1u);
        EXPECT_EQ(mainGetAssertRecords()[0].condition_text,
                  "!\"OpenSearchTree: invalid box or minimum cell size\"");
        EXPECT_EQ(mainGetAssertRecords()[0].source_file, "searchtree");
        CloseSearchTree(&t);
    }
}

TEST_F(SearchTreeTest, RightEdgeIsInsideLeftEdgeMakesTheTreeGrowLeft) {
    Open(Box(0, 0, 10, 10), 1);
    InsertObjectOnTree(tree, Obj(0), 1, Box(9, 4, 11, 6));  // centre x 10 == max x
    ExpectRoot(0, 10, 0, 10);
    InsertObjectOnTree(tree, Obj(1), 1, Box(-1, 4, 1, 6));  // centre x 0 == min x: open bound
    ExpectRoot(-10, 10, 0, 20);
    EXPECT_EQ(Query(tree, Box(-1, 4, 11, 6)).size(), 2u);
}

TEST_F(SearchTreeTest, GrowthDoublesTowardsEachQuarter) {
    struct Case {
        extrema_s object;
        double x0, x1, y0, y1;
    } cases[] = {
        {Box(14, 14, 15, 15), 0, 20, 0, 20},    // right and up
        {Box(-5, 14, -4, 15), -10, 10, 0, 20},  // left only
        {Box(14, -5, 15, -4), 0, 20, -10, 10},  // below only
        {Box(-5, -5, -4, -4), -10, 10, -10, 10},
    };
    for (const Case& c : cases) {
        CloseSearchTree(&tree);
        Open(Box(0, 0, 10, 10), 1);
        InsertObjectOnTree(tree, Obj(0), 1, Box(2, 2, 3, 3));
        InsertObjectOnTree(tree, Obj(1), 1, c.object);
        ExpectRoot(c.x0, c.x1, c.y0, c.y1);
        // The old root moved under the new one and is still searched.
        EXPECT_EQ(Query(tree, Box(-20, -20, 20, 20)).size(), 2u);
    }
    CloseSearchTree(&tree);
    Open(Box(5, 0, 5, 20), 10);  // zero width: a root of the minimum cell size
    ExpectRoot(0, 10, 0, 20);
}

TEST_F(SearchTreeTest, FarObjectsGrowTheRootRepeatedlyUpToTheFarLimit) {
    Open(Box(0, 0, 10, 10), 1);
    InsertObjectOnTree(tree, Obj(0), 1, Box(1e10 - 1, 1e10 - 1, 1e10 + 1, 1e10 + 1));
    const double side = 10 * std::ldexp(1.0, 30);  // 30 doublings reach 1e10
    ExpectRoot(0, side, 0, side);
    InsertObjectOnTree(tree, Obj(1), 1, Box(2e11, 0, 2e11 + 1, 1));
    InsertObjectOnTree(tree, Obj(2), 1, Box(1e11 - 2, 0, 1e11, 1));  // max on the limit
    ExpectRoot(0, side, 0, side);
    InsertObjectOnTree(tree, Obj(3), 1, Box(1e11 - 3, 0, 1e11 - 1, 1));  // just inside
    EXPECT_EQ(InspectSearchTree(tree).root_max_x, 10 * std::ldexp(1.0, 34));
    const auto found = Query(tree, Box(-1e11, -1e11, 1e11, 1e11));
    // Obj(3) lies below the final root's lower-right quarter, Obj(0) below its lower-left.
    EXPECT_EQ(found, (std::vector<void*>{Obj(3), Obj(0)}));
    EXPECT_EQ(InspectSearchTree(tree).index_records, 2u);
}

TEST_F(SearchTreeTest, ResultsComeRootFirstThenUpperRightToLowerLeft) {
    Open(Box(0, 0, 100, 100), 1);
    InsertObjectOnTree(tree, Obj(0), 1, Box(10, 10, 11, 11));  // lower left
    InsertObjectOnTree(tree, Obj(1), 1, Box(90, 10, 91, 11));  // lower right
    InsertObjectOnTree(tree, Obj(2), 1, Box(10, 90, 11, 91));  // upper left
    InsertObjectOnTree(tree, Obj(3), 1, Box(90, 90, 91, 91));  // upper right
    InsertObjectOnTree(tree, Obj(4), 1, Box(0, 0, 100, 100));  // the root's own
    InsertObjectOnTree(tree, Obj(5), 1, Box(1, 1, 99, 99));    // the root's own, later
    EXPECT_EQ(Query(tree, Box(0, 0, 100, 100)),
              (std::vector<void*>{Obj(4), Obj(5), Obj(3), Obj(2), Obj(1), Obj(0)}));
}

TEST_F(SearchTreeTest, ClassMaskSelectsAndMaskZeroFindsNothing) {
    Open(Box(0, 0, 100, 100), 1);
    InsertObjectOnTree(tree, Obj(0), 0b01, Box(40, 40, 42, 42));
    InsertObjectOnTree(tree, Obj(1), 0b10, Box(40, 40, 42, 42));
    EXPECT_EQ(Query(tree, Box(0, 0, 100, 100), 0b10), (std::vector<void*>{Obj(1)}));
    PointerType_s* cursor = GetObjectsPointer(tree, Box(0, 0, 100, 100), 0);
    ASSERT_NE(cursor, nullptr);
    EXPECT_FALSE(GetNextObject(cursor, nullptr, nullptr, nullptr));
    DelObjectsPointer(&cursor);
    EXPECT_EQ(cursor, nullptr);
}

TEST_F(SearchTreeTest, CursorKeepsItsResultsAndCanStartAgain) {
    Open(Box(0, 0, 100, 100), 1);
    const extrema_s box{40, 40, -3, 42, 42, 7};
    InsertObjectOnTree(tree, Obj(0), 6, box);
    PointerType_s* cursor = GetObjectsPointer(tree, Box(0, 0, 100, 100), 2);
    EXPECT_TRUE(DelObjectFromTree(tree, Obj(0)));
    void* object = nullptr;
    int32_t object_class = 0;
    extrema_s got{};
    ASSERT_TRUE(GetNextObject(cursor, &object, &object_class, &got));
    EXPECT_EQ(object, Obj(0));
    EXPECT_EQ(object_class, 6);
    EXPECT_EQ(got.min_z, -3);
    EXPECT_EQ(got.max_z, 7);
    EXPECT_FALSE(GetNextObject(cursor, &object, nullptr, nullptr));
    ResetObjectsPointer(cursor);
    EXPECT_TRUE(GetNextObject(cursor, nullptr, nullptr, nullptr));
    DelObjectsPointer(&cursor);
    EXPECT_EQ(InspectSearchTree(tree).entries, 0u);
}

TEST_F(SearchTreeTest, DeletionAndClassChangeOfAnUnknownObjectFail) {
    Open(Box(0, 0, 100, 100), 1);
    void* object = Obj(3);
    EXPECT_FALSE(ChangeTreeObjectClass(tree, &object, 1));
    EXPECT_FALSE(ChangeTreeObjectClass(tree, nullptr, 1));
    EXPECT_FALSE(DelObjectFromTree(tree, Obj(0)));
    InsertObjectOnTree(tree, Obj(0), 1, Box(1, 1, 2, 2));
    EXPECT_TRUE(DelObjectFromTree(tree, Obj(0)));
    EXPECT_FALSE(DelObjectFromTree(tree, Obj(0)));
    EXPECT_TRUE(Query(tree, Box(0, 0, 100, 100)).empty());
}

TEST_F(SearchTreeTest, AnObjectStoredTwiceIsFoundTwiceAndDeletedEverywhere) {
    Open(Box(0, 0, 100, 100), 1);
    InsertObjectOnTree(tree, Obj(0), 1, Box(1, 1, 2, 2));
    InsertObjectOnTree(tree, Obj(0), 1, Box(97, 97, 98, 98));  // another node
    InsertObjectOnTree(tree, Obj(0), 1, Box(1, 1, 2, 2));      // the first node again
    InsertObjectOnTree(tree, Obj(1), 1, Box(1, 1, 2, 2));
    EXPECT_EQ(Query(tree, Box(0, 0, 100, 100)).size(), 4u);
    void* object = Obj(0);
    EXPECT_TRUE(ChangeTreeObjectClass(tree, &object, 4));
    EXPECT_EQ(Query(tree, Box(0, 0, 100, 100), 4).size(), 3u);
    EXPECT_TRUE(DelObjectFromTree(tree, Obj(0)));
    EXPECT_EQ(Query(tree, Box(0, 0, 100, 100)), (std::vector<void*>{Obj(1)}));
    EXPECT_EQ(InspectSearchTree(tree).index_records, 1u);
    EXPECT_FALSE(DelObjectFromTree(tree, Obj(0)));
}

TEST_F(SearchTreeTest, DegenerateTreeRefusesInsertionWithAReport) {
    Open(Box(0, 0, 0, 0), 0.01);
    InsertObjectOnTree(tree, Obj(0), 1, Box(0, 0, 0, 0));
    ASSERT_EQ(mainGetAssertRecords().size(), 1u);
    EXPECT_EQ(mainGetAssertRecords()[0].condition_text, "!\"InsertObjectOnTree: Empty tree.\"");
    EXPECT_EQ(mainGetAssertRecords()[0].source_file, "searchtree");
    EXPECT_EQ(InspectSearchTree(tree).nodes, 0u);
}

TEST_F(SearchTreeTest, NonFiniteObjectsAreLeftOut) {
    Open(Box(0, 0, 100, 100), 1);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    InsertObjectOnTree(tree, Obj(0), 1, Box(nan, 0, 1, 1));
    InsertObjectOnTree(tree, Obj(1), 1, Box(0, 0, inf, 1));
    EXPECT_EQ(InspectSearchTree(tree).index_records, 0u);
    ExpectRoot(0, 100, 0, 100);
}

TEST_F(SearchTreeTest, NullArgumentsGiveNeutralResults) {
    InsertObjectOnTree(nullptr, Obj(0), 1, Box(0, 0, 1, 1));
    EXPECT_FALSE(DelObjectFromTree(nullptr, Obj(0)));
    EXPECT_EQ(GetObjectsPointer(nullptr, Box(0, 0, 1, 1), 1), nullptr);
    EXPECT_FALSE(GetNextObject(nullptr, nullptr, nullptr, nullptr));
    ResetObjectsPointer(nullptr);
    DelObjectsPointer(nullptr);
    PointerType_s* no_cursor = nullptr;
    DelObjectsPointer(&no_cursor);
    CloseSearchTree(nullptr);
    Open(Box(0, 0, 1, 1), 1);
    EXPECT_FALSE(DelObjectFromTree(tree, nullptr));
    CloseSearchTree(&tree);
    EXPECT_EQ(tree, nullptr);
}

TEST_F(SearchTreeTest, LongResultsKeepTheirOrderAcrossBlocksAndDeletions) {
    Open(Box(0, 0, 100, 100), 1);
    static int many[120];
    std::vector<void*> root_own, upper_right;
    for (int i = 0; i < 70; ++i) {  // too wide for any quarter: the root's own list
        InsertObjectOnTree(tree, &many[i], 1, Box(-40 + i * 0.1, 0, 100, 100));
        root_own.push_back(&many[i]);
    }
    for (int i = 70; i < 120; ++i) {
        InsertObjectOnTree(tree, &many[i], 1, Box(80, 80, 81, 81));
        upper_right.push_back(&many[i]);
    }
    std::vector<void*> expected = root_own;
    expected.insert(expected.end(), upper_right.begin(), upper_right.end());
    PointerType_s* cursor = GetObjectsPointer(tree, Box(0, 0, 100, 100), 1);
    EXPECT_GT(InspectSearchTree(tree).result_chunks, 1u);
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<void*> found;
        void* object = nullptr;
        while (GetNextObject(cursor, &object, nullptr, nullptr)) found.push_back(object);
        EXPECT_EQ(found, expected) << pass;
        ResetObjectsPointer(cursor);
    }
    DelObjectsPointer(&cursor);
    EXPECT_EQ(InspectSearchTree(tree).result_chunks, 0u);
    // Deleting from the middle of a node's entries keeps the others in insertion order.
    for (int i : {0, 35, 69, 70, 100}) EXPECT_TRUE(DelObjectFromTree(tree, &many[i]));
    std::erase_if(expected, [](void* o) {
        return o == &many[0] || o == &many[35] || o == &many[69] || o == &many[70] ||
               o == &many[100];
    });
    EXPECT_EQ(Query(tree, Box(0, 0, 100, 100)), expected);
    EXPECT_EQ(InspectSearchTree(tree).entries, 115u);
}

TEST_F(SearchTreeTest, EntriesExactlyOnTheWidenedQueryEdgeAreFound) {
    // The root's own entries meet the query widened by a quarter of the root (25 here).
    // Bounds that single precision cannot hold must still be decided in double.
    Open(Box(0, 0, 100, 100), 1);
    const double query_max_x = 10.1;
    const double edge = query_max_x + 25;
    InsertObjectOnTree(tree, Obj(0), 1, Box(edge, 0, edge + 110, 100));
    const double beyond = std::nextafter(edge, 1e9);
    InsertObjectOnTree(tree, Obj(1), 1, Box(beyond, 0, beyond + 110, 100));
    const double below = 0.3 - 25;  // query min y 0.3; an entry reaching exactly down to it
    InsertObjectOnTree(tree, Obj(2), 1, Box(-10, below - 110, 100, below));
    InsertObjectOnTree(tree, Obj(3), 1, Box(-10, below - 110, 100, std::nextafter(below, -1e9)));
    EXPECT_EQ(Query(tree, Box(5, 0.3, query_max_x, 1)), (std::vector<void*>{Obj(0), Obj(2)}));
}

}  // namespace
