#include "base/Vector.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records the order in which owned elements are deleted.
struct CTracked
{
    explicit CTracked(int tag) : tag(tag) {}
    ~CTracked() { Deleted().push_back(tag); }
    static std::vector<int>& Deleted()
    {
        static std::vector<int> deleted;
        return deleted;
    }
    int tag;
};

using COwningVector = CVector<CTracked*, SOwnedPtr, CTracked*>;

TEST(Vector, NewVectorHasNoStorage)
{
    CVector<int, SValue, int> vector;
    EXPECT_EQ(vector.GetSize(), 0);
    EXPECT_EQ(vector.GetCapacity(), 0);
}

TEST(Vector, CapacityGrowsTo16Then34Then70Then142)
{
    struct SStep
    {
        int adds;
        int capacity;
    };
    const SStep steps[] = {{1, 16}, {16, 16}, {17, 34}, {34, 34}, {35, 70}, {70, 70}, {71, 142}};

    CVector<int, SValue, int> vector;
    int added = 0;
    for (const SStep& step : steps) {
        while (added < step.adds)
            ASSERT_TRUE(vector.Add(added++));
        EXPECT_EQ(vector.GetSize(), step.adds);
        EXPECT_EQ(vector.GetCapacity(), step.capacity) << "after " << step.adds << " adds";
    }
    for (int i = 0; i < added; ++i)
        ASSERT_EQ(vector.GetAt(i), i) << "growth lost element " << i;
}

TEST(Vector, DestructionDeletesOwnedElementsInIndexOrderAndSkipsNulls)
{
    CTracked::Deleted().clear();
    {
        COwningVector vector;
        vector.Add(new CTracked(0));
        vector.Add(nullptr);
        vector.Add(new CTracked(2));
        vector.Add(nullptr);
        vector.Add(nullptr);
        for (int tag = 5; tag < 40; ++tag) // past two growths
            vector.Add(new CTracked(tag));
        EXPECT_TRUE(CTracked::Deleted().empty()) << "growing must not delete elements";
    }
    std::vector<int> expected = {0, 2};
    for (int tag = 5; tag < 40; ++tag)
        expected.push_back(tag);
    EXPECT_EQ(CTracked::Deleted(), expected);
}

TEST(Vector, DeletingThroughPointerDestroysElements)
{
    CTracked::Deleted().clear();
    COwningVector* vector = new COwningVector;
    vector->Add(new CTracked(7));
    delete vector;
    EXPECT_EQ(CTracked::Deleted(), std::vector<int>{7});
}

TEST(Vector, ValueVectorLeavesPointedObjectsAlone)
{
    CTracked::Deleted().clear();
    CTracked kept(1);
    {
        CVector<CTracked*, SValue, CTracked*> vector;
        vector.Add(&kept);
    }
    EXPECT_TRUE(CTracked::Deleted().empty());
}

} // namespace
