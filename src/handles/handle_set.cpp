// SPDX-License-Identifier: BSD-3-Clause
// handle_set.cpp - the ordered (AVL) and hashed (open addressing) sets.
#include "handles/handle_set.hpp"

#include <cstdio>
#include <cstdlib>

namespace vorlex {

int setErrorCode = 0;
char setErrorText[kSetErrorTextSize] = "";

namespace {

void* callocBlock(size_t bytes) { return std::calloc(1, bytes); }
void freeBlock(void* block) { std::free(block); }

}  // namespace

void* (*setAllocate)(size_t) = callocBlock;
void (*setRelease)(void*) = freeBlock;

namespace {

void* allocateOrReport(size_t bytes, const char* site) {
    void* block = setAllocate(bytes);
    if (!block) {
        setErrorCode = kSetErrorNoMemory;
        std::snprintf(setErrorText, sizeof setErrorText, "%s: could not allocate %zu bytes", site,
                      bytes);
    }
    return block;
}

// The key 0 sorts before every other key and never equals one; otherwise the
// set's comparator decides, or plain unsigned order.
int setCompareKeys(const HandleSet* set, uint32_t a, uint32_t b) {
    if (a == b) return 0;
    if (a == 0) return -1;
    if (b == 0) return 1;
    if (set->compare) return set->compare(&a, &b);
    return a < b ? -1 : 1;
}

// ---------------------------------------------------------------------------
// Ordered kind.  Recursive insert and remove pass down the link that holds
// the current subtree, so that rotations can replace the subtree's root.

OrderedSet* asOrdered(HandleSet* set) { return reinterpret_cast<OrderedSet*>(set); }
const OrderedSet* asOrdered(const HandleSet* set) {
    return reinterpret_cast<const OrderedSet*>(set);
}

void rotateLeft(SetNode** link) {
    SetNode* node = *link;
    SetNode* right = node->right;
    node->right = right->left;
    if (right->left) right->left->parent = node;
    right->left = node;
    right->parent = node->parent;
    node->parent = right;
    *link = right;
}

void rotateRight(SetNode** link) {
    SetNode* node = *link;
    SetNode* left = node->left;
    node->left = left->right;
    if (left->right) left->right->parent = node;
    left->right = node;
    left->parent = node->parent;
    node->parent = left;
    *link = left;
}

// Balances after a double rotation: `top` is the grandchild that became the
// subtree's root, with `leftNode` and `rightNode` now its children.
void settleDoubleRotation(SetNode* top, SetNode* leftNode, SetNode* rightNode) {
    leftNode->balance = top->balance == 1 ? -1 : 0;
    rightNode->balance = top->balance == -1 ? 1 : 0;
    top->balance = 0;
}

// The subtree at *link is two levels heavier on the left; restore it.  Used by
// insert, where the left child is never balanced.
void rebalanceLeftHeavy(SetNode** link) {
    SetNode* node = *link;
    SetNode* left = node->left;
    if (left->balance == -1) {
        rotateRight(link);
        node->balance = 0;
        left->balance = 0;
    } else {
        SetNode* grand = left->right;
        rotateLeft(&node->left);
        rotateRight(link);
        settleDoubleRotation(grand, left, node);
    }
}

void rebalanceRightHeavy(SetNode** link) {
    SetNode* node = *link;
    SetNode* right = node->right;
    if (right->balance == 1) {
        rotateLeft(link);
        node->balance = 0;
        right->balance = 0;
    } else {
        SetNode* grand = right->left;
        rotateRight(&node->right);
        rotateLeft(link);
        settleDoubleRotation(grand, node, right);
    }
}

int orderedInsertAt(OrderedSet* set, SetNode** link, SetNode* parent, uint32_t key, bool* grown) {
    SetNode* node = *link;
    if (!node) {
        node = static_cast<SetNode*>(allocateOrReport(sizeof(SetNode), "set node"));
        if (!node) return -1;
        node->key = key;
        node->parent = parent;
        *link = node;
        set->head.count++;
        set->head.modCount++;
        *grown = true;
        return 1;
    }
    int order = setCompareKeys(&set->head, key, node->key);
    if (order == 0) {
        *grown = false;
        return 0;
    }
    if (order < 0) {
        int added = orderedInsertAt(set, &node->left, node, key, grown);
        if (added != 1 || !*grown) return added;
        if (node->balance == 1) {
            node->balance = 0;
            *grown = false;
        } else if (node->balance == 0) {
            node->balance = -1;
        } else {
            rebalanceLeftHeavy(link);
            *grown = false;
        }
        return 1;
    }
    int added = orderedInsertAt(set, &node->right, node, key, grown);
    if (added != 1 || !*grown) return added;
    if (node->balance == -1) {
        node->balance = 0;
        *grown = false;
    } else if (node->balance == 0) {
        node->balance = 1;
    } else {
        rebalanceRightHeavy(link);
        *grown = false;
    }
    return 1;
}

// The left subtree of *link lost one level; *shrunk tells the caller whether
// the whole subtree did too.
void leftSideShrunk(SetNode** link, bool* shrunk) {
    SetNode* node = *link;
    if (node->balance == -1) {
        node->balance = 0;
        return;  // still shrunk
    }
    if (node->balance == 0) {
        node->balance = 1;
        *shrunk = false;
        return;
    }
    SetNode* right = node->right;
    if (right->balance == -1) {
        SetNode* grand = right->left;
        rotateRight(&node->right);
        rotateLeft(link);
        settleDoubleRotation(grand, node, right);
        return;  // still shrunk
    }
    rotateLeft(link);
    if (right->balance == 0) {
        node->balance = 1;
        right->balance = -1;
        *shrunk = false;
    } else {
        node->balance = 0;
        right->balance = 0;
    }
}

void rightSideShrunk(SetNode** link, bool* shrunk) {
    SetNode* node = *link;
    if (node->balance == 1) {
        node->balance = 0;
        return;
    }
    if (node->balance == 0) {
        node->balance = -1;
        *shrunk = false;
        return;
    }
    SetNode* left = node->left;
    if (left->balance == 1) {
        SetNode* grand = left->right;
        rotateLeft(&node->left);
        rotateRight(link);
        settleDoubleRotation(grand, left, node);
        return;
    }
    rotateRight(link);
    if (left->balance == 0) {
        node->balance = -1;
        left->balance = 1;
        *shrunk = false;
    } else {
        node->balance = 0;
        left->balance = 0;
    }
}

// Replaces the node at *link by its only child (or nothing) and frees it.
void spliceOut(SetNode** link, SetNode* child) {
    SetNode* node = *link;
    if (child) child->parent = node->parent;
    *link = child;
    setRelease(node);
}

// Removes the rightmost node of the subtree at *link and returns its key.
uint32_t removeRightmost(SetNode** link, bool* shrunk) {
    SetNode* node = *link;
    if (!node->right) {
        uint32_t key = node->key;
        spliceOut(link, node->left);
        *shrunk = true;
        return key;
    }
    uint32_t key = removeRightmost(&node->right, shrunk);
    if (*shrunk) rightSideShrunk(link, shrunk);
    return key;
}

int orderedRemoveAt(OrderedSet* set, SetNode** link, uint32_t key, bool* shrunk) {
    SetNode* node = *link;
    if (!node) {
        *shrunk = false;
        return 0;
    }
    int order = setCompareKeys(&set->head, key, node->key);
    if (order < 0) {
        int removed = orderedRemoveAt(set, &node->left, key, shrunk);
        if (removed && *shrunk) leftSideShrunk(link, shrunk);
        return removed;
    }
    if (order > 0) {
        int removed = orderedRemoveAt(set, &node->right, key, shrunk);
        if (removed && *shrunk) rightSideShrunk(link, shrunk);
        return removed;
    }
    set->head.count--;
    set->head.modCount++;
    if (!node->right) {
        spliceOut(link, node->left);
        *shrunk = true;
    } else if (!node->left) {
        spliceOut(link, node->right);
        *shrunk = true;
    } else {
        node->key = removeRightmost(&node->left, shrunk);
        if (*shrunk) leftSideShrunk(link, shrunk);
    }
    return 1;
}

int orderedContains(const OrderedSet* set, uint32_t key) {
    if (set->head.count == 0) return 0;
    const SetNode* node = set->root;
    while (node) {
        int order = setCompareKeys(&set->head, key, node->key);
        if (order == 0) return 1;
        node = order < 0 ? node->left : node->right;
    }
    return 0;
}

void freeNodes(SetNode* node) {
    if (!node) return;
    freeNodes(node->left);
    freeNodes(node->right);
    setRelease(node);
}

// ---------------------------------------------------------------------------
// Hashed kind.

constexpr int32_t kSetSteps[kSetGrowthSteps] = {
    3,       3,       5,       11,      17,       37,       67,       131,      257,    521,
    1031,    2053,    4099,    8209,    16411,    32771,    65537,    131101,   262147, 524309,
    1048583, 2097169, 4194319, 8388617, 16777259, 33554467, 67108879, 134217757};

HashedSet* asHashed(HandleSet* set) { return reinterpret_cast<HashedSet*>(set); }
const HashedSet* asHashed(const HandleSet* set) { return reinterpret_cast<const HashedSet*>(set); }

int32_t homeSlot(const HashedSet* set, uint32_t key) {
    return set->hash(key) & (set->capacity - 1);
}

int32_t nextSlot(const HashedSet* set, int32_t index) {
    return (index + set->step) & (set->capacity - 1);
}

// Slot holding a key equal to `key`, or -1.
int32_t findSlot(const HashedSet* set, uint32_t key) {
    if (set->head.count == 0 || set->capacity < 1) return -1;
    int32_t home = homeSlot(set, key);
    int32_t index = home;
    do {
        uint32_t held = set->slots[index];
        if (held == 0) return -1;
        if (setCompareKeys(&set->head, key, held) == 0) return index;
        index = nextSlot(set, index);
    } while (index != home);
    return -1;
}

int hashedInsert(HashedSet* set, uint32_t key) {
    // A key already present changes nothing, not even the table's size.
    if (findSlot(set, key) >= 0) return 0;
    int64_t wanted = set->head.count + 1;
    if (static_cast<int64_t>(wanted / set->loadFactor) > set->capacity &&
        setGrow(set, static_cast<int32_t>(wanted)) < 0)
        return -1;
    for (;;) {
        int32_t home = homeSlot(set, key);
        int32_t index = home;
        do {
            uint32_t held = set->slots[index];
            if (held == 0) {
                set->slots[index] = key;
                set->head.count++;
                set->head.modCount++;
                return 1;
            }
            if (setCompareKeys(&set->head, key, held) == 0) return 0;
            index = nextSlot(set, index);
        } while (index != home);
        // Every slot visited without a place: only a table that the load
        // factor failed to keep sparse gets here.
        if (setGrow(set, set->capacity + 1) < 0) return -1;
    }
}

// Is `slot` among the slots visited strictly between `from` and `to`?
bool probedBetween(const HashedSet* set, int32_t from, int32_t to, int32_t slot) {
    for (int32_t index = nextSlot(set, from); index != to; index = nextSlot(set, index))
        if (index == slot) return true;
    return false;
}

int hashedRemove(HashedSet* set, uint32_t key) {
    int32_t hole = findSlot(set, key);
    if (hole < 0) return 0;
    set->head.count--;
    set->head.modCount++;
    set->slots[hole] = 0;
    // Close the gap: a key further along the probe sequence moves into the
    // hole unless its own probe path from its home slot does not cross it.
    for (int32_t index = nextSlot(set, hole); set->slots[index] != 0;
         index = nextSlot(set, index)) {
        int32_t home = homeSlot(set, set->slots[index]);
        bool reachable = home != hole && (home == index || probedBetween(set, hole, index, home));
        if (reachable) continue;
        set->slots[hole] = set->slots[index];
        set->slots[index] = 0;
        hole = index;
    }
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Public operations.

int32_t setCapacityAt(int index) { return int32_t{1} << (index + 3); }
int32_t setStepAt(int index) { return kSetSteps[index]; }

int32_t setKeyHash(uint32_t key) {
    uint32_t b0 = key & 0xFF, b1 = (key >> 8) & 0xFF, b2 = (key >> 16) & 0xFF, b3 = key >> 24;
    uint32_t h = (b0 + 3377510u) ^ 0x19919u;
    h ^= (h << 5) + (h >> 2) + b1;
    h ^= (h << 5) + (h >> 2) + b2;
    uint32_t arithmeticShift = static_cast<uint32_t>(static_cast<int32_t>(h) >> 2);
    return static_cast<int32_t>((((h << 5) + arithmeticShift + b3) ^ h) & 0x7FFFFFFFu);
}

HandleSet* setNewOrdered() {
    auto* set = static_cast<OrderedSet*>(allocateOrReport(sizeof(OrderedSet), "ordered set"));
    if (!set) return nullptr;
    set->head.kind = SetKind::ordered;
    return &set->head;
}

HandleSet* setNewHashed() {
    auto* set = static_cast<HashedSet*>(allocateOrReport(sizeof(HashedSet), "hashed set"));
    if (!set) return nullptr;
    set->head.kind = SetKind::hashed;
    set->step = 3;
    set->loadFactor = 0.75;
    set->hash = setKeyHash;
    return &set->head;
}

int32_t setGrow(HashedSet* set, int32_t n) {
    int64_t needed = static_cast<int64_t>(n / set->loadFactor) + 1;
    int index = 0;
    while (index < kSetGrowthSteps && setCapacityAt(index) < needed) index++;
    if (index == kSetGrowthSteps) {
        setErrorCode = kSetErrorTooLarge;
        std::snprintf(setErrorText, sizeof setErrorText, "hashed set: no capacity holds %d keys",
                      static_cast<int>(n));
        return -1;
    }
    int32_t capacity = setCapacityAt(index);
    if (capacity <= set->capacity) return set->capacity;

    auto* scratch = reinterpret_cast<HashedSet*>(setNewHashed());
    if (!scratch) return -1;
    scratch->head.compare = set->head.compare;
    scratch->hash = set->hash;
    scratch->loadFactor = set->loadFactor;
    scratch->slots = static_cast<uint32_t*>(
        allocateOrReport(sizeof(uint32_t) * static_cast<size_t>(capacity), "hashed set slots"));
    if (!scratch->slots) {
        setFree(&scratch->head);
        return -1;
    }
    scratch->capacity = capacity;
    scratch->step = kSetSteps[index];
    for (int32_t slot = 0; slot < set->capacity; slot++) {
        if (set->slots[slot] != 0 && hashedInsert(scratch, set->slots[slot]) < 0) {
            setFree(&scratch->head);
            return -1;
        }
    }
    setRelease(set->slots);
    set->slots = scratch->slots;
    set->capacity = scratch->capacity;
    set->step = scratch->step;
    scratch->slots = nullptr;
    setFree(&scratch->head);
    set->head.modCount++;
    return set->capacity;
}

int setInsert(HandleSet* set, uint32_t key) {
    if (key == 0) {
        setErrorCode = kSetErrorNullKey;
        std::snprintf(setErrorText, sizeof setErrorText, "set insert: the key 0 is not allowed");
        return -1;
    }
    if (set->kind == SetKind::hashed) return hashedInsert(asHashed(set), key);
    OrderedSet* ordered = asOrdered(set);
    bool grown = false;
    int added = orderedInsertAt(ordered, &ordered->root, nullptr, key, &grown);
    if (ordered->root) ordered->root->parent = nullptr;
    return added;
}

int setRemove(HandleSet* set, uint32_t key) {
    if (set->kind == SetKind::hashed) return hashedRemove(asHashed(set), key);
    OrderedSet* ordered = asOrdered(set);
    bool shrunk = false;
    int removed = orderedRemoveAt(ordered, &ordered->root, key, &shrunk);
    if (ordered->root) ordered->root->parent = nullptr;
    return removed;
}

int setContains(const HandleSet* set, uint32_t key) {
    if (set->kind == SetKind::hashed) return findSlot(asHashed(set), key) >= 0 ? 1 : 0;
    return orderedContains(asOrdered(set), key);
}

void setFree(HandleSet* set) {
    if (!set) return;
    if (set->kind == SetKind::hashed)
        setRelease(asHashed(set)->slots);
    else
        freeNodes(asOrdered(set)->root);
    setRelease(set);
}

}  // namespace vorlex
