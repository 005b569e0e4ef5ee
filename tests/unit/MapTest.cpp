#include "base/Map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using CIdSet = CMap<int, bool, SValue, SValue, int>;
using CIntMap = CMap<int, int, SValue, SValue, int>;

const int kNodesPerBlock = sizeof(void*) == 8 ? 4 : 7;

int BlocksFor(int nodes) { return (nodes + kNodesPerBlock - 1) / kNodesPerBlock; }

// Walks a subtree, checking links and colours; returns its black height or -1.
template <typename Node>
int BlackHeight(const Node* node, const Node* sentinel, std::string& fault)
{
    if (node == sentinel)
        return 1;
    if (node->colour != Node::kRed && node->colour != Node::kBlack)
        fault = "colour byte is neither red nor black";
    for (const Node* child : {node->left, node->right}) {
        if (child != sentinel && child->parent != node)
            fault = "child's parent link is wrong at key " + std::to_string(node->key);
        if (node->colour == Node::kRed && child->colour == Node::kRed)
            fault = "red node with red child at key " + std::to_string(node->key);
    }
    if (node->left != sentinel && !(node->left->key < node->key))
        fault = "left child not smaller at key " + std::to_string(node->key);
    if (node->right != sentinel && !(node->key < node->right->key))
        fault = "right child not greater at key " + std::to_string(node->key);
    int left = BlackHeight(node->left, sentinel, fault);
    int right = BlackHeight(node->right, sentinel, fault);
    if (left != right)
        fault = "black heights differ at key " + std::to_string(node->key);
    return left + (node->colour == Node::kBlack ? 1 : 0);
}

template <typename Node>
void InOrder(const Node* node, const Node* sentinel, std::vector<const Node*>& out)
{
    if (node == sentinel)
        return;
    InOrder(node->left, sentinel, out);
    out.push_back(node);
    InOrder(node->right, sentinel, out);
}

// Everything the map promises, against a reference std::map.
template <typename Map, typename Value>
void ExpectMatches(const Map& map, const std::map<int, Value>& reference)
{
    using Node = typename Map::Node;
    const Node* sentinel = map.GetSentinel();

    EXPECT_EQ(sentinel->parent, nullptr) << "sentinel's parent was overwritten";
    EXPECT_EQ(sentinel->colour, Node::kBlack);
    EXPECT_EQ(sentinel->left, sentinel);
    EXPECT_EQ(sentinel->right, sentinel);

    ASSERT_EQ(map.GetCount(), int(reference.size()));
    EXPECT_EQ(map.GetNodesInUse(), int(reference.size()));
    EXPECT_EQ(map.GetBlockCount(), BlocksFor(int(reference.size())));

    const Node* root = map.GetRoot();
    if (reference.empty()) {
        EXPECT_EQ(root, sentinel);
        EXPECT_EQ(map.GetFirst(), nullptr);
        EXPECT_EQ(map.GetLast(), nullptr);
        return;
    }
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->colour, Node::kBlack) << "root is red";
    std::string fault;
    int height = BlackHeight(root, sentinel, fault);
    EXPECT_EQ(fault, "");
    EXPECT_GE(height, 1);

    std::vector<const Node*> order;
    InOrder(root, sentinel, order);
    ASSERT_EQ(order.size(), reference.size());
    size_t i = 0;
    for (const auto& entry : reference) {
        EXPECT_EQ(order[i]->key, entry.first) << "key order differs at " << i;
        EXPECT_EQ(order[i]->value, entry.second) << "value of key " << entry.first;
        EXPECT_EQ(map.Lookup(entry.first), order[i]);
        const Node* prev = i ? order[i - 1] : nullptr;
        const Node* next = i + 1 < order.size() ? order[i + 1] : nullptr;
        EXPECT_EQ(order[i]->prev, prev) << "prev of key " << entry.first;
        EXPECT_EQ(order[i]->next, next) << "next of key " << entry.first;
        ++i;
    }
    EXPECT_EQ(map.GetFirst(), order.front());
    EXPECT_EQ(map.GetLast(), order.back());
}

std::vector<int> NextWalk(const CIdSet& map)
{
    std::vector<int> keys;
    for (const CIdSet::Node* node = map.GetFirst(); node; node = node->next)
        keys.push_back(node->key);
    return keys;
}

TEST(Map, NewMapIsEmptyWithoutBlocks)
{
    CIdSet map;
    EXPECT_EQ(map.GetNodesPerBlock(), kNodesPerBlock);
    EXPECT_EQ(map.GetCachedIndex(), -1);
    EXPECT_EQ(map.GetCachedNode(), nullptr);
    EXPECT_EQ(map.Lookup(0), nullptr);
    ExpectMatches(map, std::map<int, bool>());
    map.RemoveAll();
    ExpectMatches(map, std::map<int, bool>());
}

TEST(Map, KeysFiveThreeEightOneWalkInOrder)
{
    CIdSet map;
    for (int key : {5, 3, 8, 1})
        ASSERT_TRUE(map.SetAt(key, true));
    EXPECT_EQ(map.GetFirst()->key, 1);
    EXPECT_EQ(map.GetLast()->key, 8);
    EXPECT_EQ(NextWalk(map), (std::vector<int>{1, 3, 5, 8}));
    ExpectMatches(map, std::map<int, bool>{{1, true}, {3, true}, {5, true}, {8, true}});
}

TEST(Map, KeysOrderAsSignedIntegers)
{
    CIdSet map;
    for (int key : {0, -1, INT_MAX, 1, INT_MIN, -2})
        map.SetAt(key, true);
    EXPECT_EQ(NextWalk(map), (std::vector<int>{INT_MIN, -2, -1, 0, 1, INT_MAX}));
}

TEST(Map, SetAtOnExistingKeyChangesOnlyTheValue)
{
    CIntMap map;
    std::map<int, int> reference;
    for (int key : {10, 20, 30, 40, 50, 5}) {
        map.SetAt(key, key);
        reference[key] = key;
    }
    const CIntMap::Node* root = map.GetRoot();
    const CIntMap::Node* node = map.Lookup(30);
    const CIntMap::Node* parent = node->parent;
    uint8_t colour = node->colour;

    EXPECT_TRUE(map.SetAt(30, -7));
    reference[30] = -7;
    EXPECT_EQ(map.Lookup(30), node) << "an existing key got a new node";
    EXPECT_EQ(node->value, -7);
    EXPECT_EQ(node->parent, parent);
    EXPECT_EQ(node->colour, colour);
    EXPECT_EQ(map.GetRoot(), root);
    ExpectMatches(map, reference);
}

TEST(Map, NextBlockIsAllocatedWhenTheFirstIsFull)
{
    EXPECT_EQ(sizeof(CMapNode<int, bool>), sizeof(void*) == 8 ? 56u : 32u);
    CIdSet map;
    for (int key = 1; key <= 3 * kNodesPerBlock + 1; ++key) {
        map.SetAt(key * 7, true);
        EXPECT_EQ(map.GetBlockCount(), BlocksFor(key)) << "after key number " << key;
    }
    // The 64-bit build starts its second block with the 5th key, the 32-bit build with the 8th.
    CIdSet second;
    for (int key = 1; key < kNodesPerBlock + 1; ++key)
        second.SetAt(key, true);
    EXPECT_EQ(second.GetBlockCount(), 1);
    second.SetAt(kNodesPerBlock + 1, true);
    EXPECT_EQ(second.GetBlockCount(), 2);
}

TEST(Map, RandomSequencesKeepEveryInvariant)
{
    struct SCase
    {
        unsigned seed;
        int inserts;
        int lowest;
        int highest;
    };
    // Narrow ranges repeat keys often; the full range reaches both signed ends.
    const SCase cases[] = {
        {1, 200, 0, 50},         {2, 500, -100, 100},       {3, 1000, INT_MIN, INT_MAX},
        {4, 300, -5, 5},         {5, 2000, 0, 3000},        {6, 64, INT_MIN, INT_MIN + 40},
        {7, 64, INT_MAX - 40, INT_MAX}, {8, 1500, -1000000, 1000000},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        std::mt19937 random(c.seed);
        std::uniform_int_distribution<int> keys(c.lowest, c.highest);
        CIntMap map;
        std::map<int, int> reference;
        for (int i = 0; i < c.inserts; ++i) {
            int key = keys(random);
            ASSERT_TRUE(map.SetAt(key, i));
            reference[key] = i;
            if (i % 97 == 0)
                ExpectMatches(map, reference);
        }
        ExpectMatches(map, reference);
        for (int probe = 0; probe < 200; ++probe) {
            int key = keys(random);
            EXPECT_EQ(map.Lookup(key) != nullptr, reference.count(key) == 1) << "lookup of " << key;
        }
    }
}

TEST(Map, SortedInsertionStaysBalanced)
{
    for (int direction : {1, -1}) {
        CIntMap map;
        std::map<int, int> reference;
        const int count = 4096;
        for (int i = 0; i < count; ++i) {
            map.SetAt(i * direction, i);
            reference[i * direction] = i;
        }
        ExpectMatches(map, reference);
        int deepest = 0;
        for (const CIntMap::Node* node = map.GetFirst(); node; node = node->next) {
            int depth = 0;
            for (const CIntMap::Node* up = node; up; up = up->parent)
                ++depth;
            deepest = depth > deepest ? depth : deepest;
        }
        EXPECT_LE(deepest, 2 * std::log2(count + 1)) << "tree degenerated";
    }
}

TEST(Map, RemoveAllGivesBackEveryNodeAndBlock)
{
    CIdSet map;
    for (int key = 0; key < 30; ++key)
        map.SetAt(key * 3 % 31, true);
    map.RemoveAll();
    ExpectMatches(map, std::map<int, bool>());
    // The emptied map is a fresh map again.
    map.SetAt(9, true);
    map.SetAt(-9, false);
    ExpectMatches(map, std::map<int, bool>{{-9, false}, {9, true}});
}

TEST(Map, GetNodeAtFollowsKeyOrder)
{
    CIntMap map;
    std::mt19937 random(11);
    std::vector<int> keys;
    for (int i = 0; i < 100; ++i) {
        int key = int(random() % 1000) - 500;
        if (!map.Lookup(key))
            keys.push_back(key);
        map.SetAt(key, i);
    }
    std::sort(keys.begin(), keys.end());
    const int n = int(keys.size());
    // Jumps both ways, next to the cached position and near both ends.
    for (int index : {0, n / 2, n / 2 + 1, n / 2 - 1, n - 2, n - 1, 3, 20, n * 2 / 3, 0}) {
        const CIntMap::Node* node = map.GetNodeAt(index);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->key, keys[size_t(index)]) << "index " << index;
        EXPECT_EQ(map.GetCachedIndex(), index);
        EXPECT_EQ(map.GetCachedNode(), node);
    }
    EXPECT_EQ(map.GetNodeAt(-1), nullptr);
    EXPECT_EQ(map.GetNodeAt(int(keys.size())), nullptr);
}

TEST(Map, SetAtKeepsTheCachedPositionTrue)
{
    CIntMap map;
    for (int key : {10, 20, 30, 40, 50})
        map.SetAt(key, 0);
    ASSERT_EQ(map.GetNodeAt(2)->key, 30);

    // Row: key inserted, key expected at the cached index 2 afterwards.
    const std::pair<int, int> rows[] = {{60, 30}, {25, 25}, {5, 20}, {20, 20}, {1, 10}, {15, 10}, {2, 5}};
    for (const auto& row : rows) {
        map.SetAt(row.first, 1);
        EXPECT_EQ(map.GetCachedIndex(), 2);
        EXPECT_EQ(map.GetCachedNode()->key, row.second) << "after inserting " << row.first;
        const CIntMap::Node* walked = map.GetFirst();
        for (int i = 0; i < 2; ++i)
            walked = walked->next;
        EXPECT_EQ(map.GetCachedNode(), walked);
    }
}

// Counts live objects to show that owned values are deleted exactly once.
struct CCounted
{
    CCounted() { ++Live(); }
    ~CCounted() { --Live(); }
    static int& Live()
    {
        static int live = 0;
        return live;
    }
};

TEST(Map, OwnedValuesAreDeletedOnceWhenReplacedOrDestroyed)
{
    CCounted::Live() = 0;
    {
        CMap<int, CCounted*, SValue, SOwnedPtr, int> map;
        for (int key = 0; key < 10; ++key)
            map.SetAt(key, new CCounted);
        CCounted* kept = map.Lookup(4)->value;
        map.SetAt(4, kept); // the same object again: nothing to delete
        EXPECT_EQ(CCounted::Live(), 10);
        map.SetAt(5, new CCounted); // replaces and deletes the old value
        EXPECT_EQ(CCounted::Live(), 10);
        map.SetAt(6, nullptr);
        EXPECT_EQ(CCounted::Live(), 9);
    }
    EXPECT_EQ(CCounted::Live(), 0);
}

} // namespace
