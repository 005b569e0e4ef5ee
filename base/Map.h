#pragma once

#include "base/ElementPolicy.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

// One entry of a CMap: a node of its red-black tree and a link of its key order.
template <typename K, typename V>
struct CMapNode
{
    enum : uint8_t { kBlack = 0, kRed = 1 };

    K key;
    V value;
    CMapNode* parent; // null for the root
    CMapNode* left;   // the map's sentinel where there is no child
    CMapNode* right;
    CMapNode* prev;   // in-order neighbours; null at the ends
    CMapNode* next;
    uint8_t colour;
};

// An ordered map on a red-black tree, keys ascending by operator<. Nodes come
// from a pool of fixed-size heap blocks: one allocation per block, and
// destruction frees blocks rather than nodes. The prev/next links give the key
// order without walking the tree.
//
// ArgT is the type in which keys are passed in (int for int keys, const K& for
// keys that are costly to copy). The policies say what happens to a key or value
// that leaves the map: on destruction, and for a value that SetAt replaces.
//
// Nothing here throws: when the heap cannot deliver a block, SetAt returns false
// and the map stays exactly as it was.
template <typename K, typename V, typename KeyPolicy, typename ValuePolicy, typename ArgT = const K&>
class CMap
{
public:
    using Node = CMapNode<K, V>;

    // 224 bytes of nodes per block: 4 nodes in the 64-bit build, 7 in the 32-bit one.
    static constexpr int kNodesPerBlock = sizeof(Node) >= 224 ? 1 : int(224 / sizeof(Node));

    CMap() : m_nodesPerBlock(kNodesPerBlock), m_root(&m_sentinel)
    {
        m_sentinel.parent = nullptr;
        m_sentinel.left = &m_sentinel;
        m_sentinel.right = &m_sentinel;
        m_sentinel.prev = nullptr;
        m_sentinel.next = nullptr;
        m_sentinel.colour = Node::kBlack;
    }
    // The tree points at the sentinel inside the map, so a map never moves.
    CMap(const CMap&) = delete;
    CMap& operator=(const CMap&) = delete;

    virtual ~CMap() { RemoveAll(); }

    // Stores value under key, inserting the key when it is new. An existing key
    // only gets its value replaced. False, with nothing changed, without memory.
    bool SetAt(ArgT key, const V& value)
    {
        Node* parent = nullptr;
        bool wentLeft = false;
        for (Node* node = m_root; node != &m_sentinel;) {
            parent = node;
            if (node->key < key) {
                node = node->right;
                wentLeft = false;
            } else if (key < node->key) {
                node = node->left;
                wentLeft = true;
            } else {
                ValuePolicy::Replace(node->value, value);
                return true;
            }
        }

        void* raw = TakeNode();
        if (!raw)
            return false;
        Node* node = new (raw) Node{key, value, parent, &m_sentinel, &m_sentinel, nullptr, nullptr, Node::kRed};

        if (!parent) {
            m_root = node;
        } else if (wentLeft) {
            parent->left = node;
            node->next = parent;
            node->prev = parent->prev;
        } else {
            parent->right = node;
            node->prev = parent;
            node->next = parent->next;
        }
        if (node->prev)
            node->prev->next = node;
        else
            m_first = node;
        if (node->next)
            node->next->prev = node;
        else
            m_last = node;

        // A key before the cached node shifts the order by one: the node now at
        // the cached index is the former one's predecessor.
        if (m_cachedNode && key < m_cachedNode->key)
            m_cachedNode = m_cachedNode->prev;

        Rebalance(node);
        m_root->colour = Node::kBlack;
        ++m_count;
        return true;
    }

    // The node that holds key, or null.
    Node* Lookup(ArgT key) const
    {
        Node* node = m_root;
        while (node != &m_sentinel) {
            if (key < node->key)
                node = node->left;
            else if (node->key < key)
                node = node->right;
            else
                return node;
        }
        return nullptr;
    }

    // The node at position index in key order, or null out of range. Walks from
    // the nearest of first, last and the cached position, and caches the result.
    Node* GetNodeAt(int index)
    {
        if (index < 0 || index >= m_count)
            return nullptr;
        Node* node = m_first;
        int at = 0;
        if (m_count - 1 - index < index - at) {
            node = m_last;
            at = m_count - 1;
        }
        if (m_cachedNode && Distance(m_cachedIndex, index) < Distance(at, index)) {
            node = m_cachedNode;
            at = m_cachedIndex;
        }
        for (; at < index; ++at)
            node = node->next;
        for (; at > index; --at)
            node = node->prev;
        m_cachedIndex = index;
        m_cachedNode = node;
        return node;
    }

    // Gives every node back and frees every block; the map is empty afterwards.
    void RemoveAll()
    {
        if (m_root != &m_sentinel)
            GiveBackSubtree(m_root);
        FreeBlocks();
        m_root = &m_sentinel;
        m_first = nullptr;
        m_last = nullptr;
        m_cachedIndex = -1;
        m_cachedNode = nullptr;
        m_count = 0;
    }

    int GetCount() const { return m_count; }
    Node* GetFirst() const { return m_first; } // null while the map is empty
    Node* GetLast() const { return m_last; }

    // The tree and pool as they are, for checks and diagnostics.
    const Node* GetRoot() const { return m_root; }
    const Node* GetSentinel() const { return &m_sentinel; }
    int GetNodesInUse() const { return m_nodesInUse; }
    int GetNodesPerBlock() const { return m_nodesPerBlock; }
    int GetCachedIndex() const { return m_cachedIndex; }
    const Node* GetCachedNode() const { return m_cachedNode; }
    int GetBlockCount() const
    {
        int blocks = 0;
        for (SBlock* block = m_blocks; block; block = block->previous)
            ++blocks;
        return blocks;
    }

private:
    struct SBlock
    {
        SBlock* previous; // the block allocated before this one
    };

    // Nodes start behind the block link, aligned for the node type.
    static constexpr size_t kNodesOffset = (sizeof(SBlock) + alignof(Node) - 1) / alignof(Node) * alignof(Node);

    static Node* NodeInBlock(SBlock* block, int i)
    {
        return reinterpret_cast<Node*>(reinterpret_cast<char*>(block) + kNodesOffset + sizeof(Node) * size_t(i));
    }

    // A free node's first word links to the next free node.
    static Node* NextFree(void* node)
    {
        Node* next;
        std::memcpy(&next, node, sizeof(next));
        return next;
    }
    static void SetNextFree(void* node, Node* next) { std::memcpy(node, &next, sizeof(next)); }

    static int Distance(int a, int b) { return a < b ? b - a : a - b; }

    // Raw storage for one node, or null when no block can be allocated.
    void* TakeNode()
    {
        if (!m_free) {
            SBlock* block = static_cast<SBlock*>(std::malloc(kNodesOffset + sizeof(Node) * size_t(m_nodesPerBlock)));
            if (!block)
                return nullptr;
            block->previous = m_blocks;
            m_blocks = block;
            for (int i = 0; i < m_nodesPerBlock; ++i)
                SetNextFree(NodeInBlock(block, i), i + 1 < m_nodesPerBlock ? NodeInBlock(block, i + 1) : nullptr);
            m_free = NodeInBlock(block, 0);
        }
        Node* node = m_free;
        m_free = NextFree(node);
        ++m_nodesInUse;
        return node;
    }

    void GiveBack(Node* node)
    {
        KeyPolicy::Destroy(node->key);
        ValuePolicy::Destroy(node->value);
        node->~Node();
        // The last node out takes the whole pool with it.
        if (m_nodesInUse == 1) {
            FreeBlocks();
            return;
        }
        SetNextFree(node, m_free);
        m_free = node;
        --m_nodesInUse;
    }

    // Post-order, so that a node is given back only after both its subtrees.
    // The depth is bounded by the tree height, at most 2 log2(count + 1).
    void GiveBackSubtree(Node* node)
    {
        Node* left = node->left;
        Node* right = node->right;
        if (left != &m_sentinel)
            GiveBackSubtree(left);
        if (right != &m_sentinel)
            GiveBackSubtree(right);
        GiveBack(node);
    }

    void FreeBlocks()
    {
        SBlock* block = m_blocks;
        while (block) {
            SBlock* previous = block->previous;
            std::free(block);
            block = previous;
        }
        m_blocks = nullptr;
        m_free = nullptr;
        m_nodesInUse = 0;
    }

    // Rotations never link the sentinel to a parent: it stands for every
    // missing child at once, so its parent stays null.
    void RotateLeft(Node* x)
    {
        Node* y = x->right;
        x->right = y->left;
        if (y->left != &m_sentinel)
            y->left->parent = x;
        Replant(x, y);
        y->left = x;
        x->parent = y;
    }

    void RotateRight(Node* x)
    {
        Node* y = x->left;
        x->left = y->right;
        if (y->right != &m_sentinel)
            y->right->parent = x;
        Replant(x, y);
        y->right = x;
        x->parent = y;
    }

    // Puts y where x hangs in the tree.
    void Replant(Node* x, Node* y)
    {
        y->parent = x->parent;
        if (!x->parent)
            m_root = y;
        else if (x == x->parent->left)
            x->parent->left = y;
        else
            x->parent->right = y;
    }

    // The classic insertion fix-up: restores "no red node has a red child"
    // from the new red node upwards.
    void Rebalance(Node* node)
    {
        while (node != m_root && node->parent->colour == Node::kRed) {
            Node* parent = node->parent;
            Node* grand = parent->parent; // exists: a red parent is never the root
            if (parent == grand->left) {
                Node* uncle = grand->right;
                if (uncle->colour == Node::kRed) {
                    parent->colour = Node::kBlack;
                    uncle->colour = Node::kBlack;
                    grand->colour = Node::kRed;
                    node = grand;
                    continue;
                }
                if (node == parent->right) {
                    node = parent;
                    RotateLeft(node);
                }
                node->parent->colour = Node::kBlack;
                node->parent->parent->colour = Node::kRed;
                RotateRight(node->parent->parent);
            } else {
                Node* uncle = grand->left;
                if (uncle->colour == Node::kRed) {
                    parent->colour = Node::kBlack;
                    uncle->colour = Node::kBlack;
                    grand->colour = Node::kRed;
                    node = grand;
                    continue;
                }
                if (node == parent->left) {
                    node = parent;
                    RotateRight(node);
                }
                node->parent->colour = Node::kBlack;
                node->parent->parent->colour = Node::kRed;
                RotateLeft(node->parent->parent);
            }
        }
    }

    SBlock* m_blocks = nullptr;   // most recent block first
    Node* m_free = nullptr;       // free nodes of the pool
    int m_nodesInUse = 0;
    int m_nodesPerBlock;
    Node* m_root;                 // the sentinel while the map is empty
    Node* m_first = nullptr;      // smallest key
    Node* m_last = nullptr;       // largest key
    Node m_sentinel{};            // black; every missing child
    int m_cachedIndex = -1;       // position of m_cachedNode in key order, -1 when none
    Node* m_cachedNode = nullptr;
    int m_count = 0;
};

// The node layout of the id set that shell enumeration uses: 56 bytes in the
// 64-bit build and 32 in the 32-bit one, so a block holds 4 or 7 of them.
static_assert(sizeof(CMapNode<int, bool>) == (sizeof(void*) == 8 ? 56 : 32), "node layout of CMap<int, bool>");
static_assert(CMap<int, bool, SValue, SValue, int>::kNodesPerBlock == (sizeof(void*) == 8 ? 4 : 7),
              "nodes per block of CMap<int, bool>");
