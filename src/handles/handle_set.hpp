// SPDX-License-Identifier: BSD-3-Clause
// handle_set.hpp - sets of non-zero 32-bit keys.
//
// One set type in two kinds behind the same operations: `ordered`, an AVL
// tree with parent links, and `hashed`, an open-addressing table with a
// power-of-two slot array and an odd (prime) probe step.  The handle registry
// keeps its live handle numbers in ordered sets; the hashed kind is complete
// and interchangeable.
//
// The library never throws.  Operations report through their return value
// (1, 0, -1) and, on failure, through the library-wide `setErrorCode` and
// `setErrorText`, which stay as the failing operation left them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlex {

enum class SetKind : int32_t { ordered, hashed };

// Optional key order: negative, zero or positive, like strcmp.
using SetCompare = int (*)(const uint32_t* a, const uint32_t* b);
using SetHash = int32_t (*)(uint32_t key);

// Fields shared by both kinds; every set begins with this header.
struct HandleSet {
    SetKind kind;
    int32_t count;
    SetCompare compare;  // null: keys compare as unsigned numbers
    int32_t modCount;    // bumped by every add, removal and growth
};

struct SetNode {
    uint32_t key;
    SetNode* left;
    SetNode* right;
    SetNode* parent;  // null at the root
    int32_t balance;  // height(right) - height(left): -1, 0 or +1
};

struct OrderedSet {
    HandleSet head;
    SetNode* root;
};

struct HashedSet {
    HandleSet head;
    uint32_t* slots;  // 0 marks an empty slot; null until the first insert
    int32_t capacity;
    int32_t step;
    double loadFactor;
    SetHash hash;
};

// Library-wide error state, written by a failing operation.
constexpr int kSetErrorNoMemory = 1001;
constexpr int kSetErrorNullKey = 1013;
constexpr int kSetErrorTooLarge = 1042;
constexpr size_t kSetErrorTextSize = 2048;
extern int setErrorCode;
extern char setErrorText[kSetErrorTextSize];

// Allocation hooks of the library, replaceable so that tests can make an
// allocation fail.  Both return zero-filled memory or null.
extern void* (*setAllocate)(size_t bytes);
extern void (*setRelease)(void* block);

// Constructors: an empty set, or null with error 1001.
HandleSet* setNewOrdered();
HandleSet* setNewHashed();

// 1 added, 0 already present (set unchanged), -1 failure (1013 for the key 0,
// 1001 or 1042 from allocation or growth; the set keeps its contents).
int setInsert(HandleSet* set, uint32_t key);
// 1 removed, 0 absent.  Never fails.
int setRemove(HandleSet* set, uint32_t key);
// 1 present, 0 absent.  Never fails, never allocates.
int setContains(const HandleSet* set, uint32_t key);
// Frees the set's own memory; the keys are not looked at.
void setFree(HandleSet* set);

// Hashed kind: makes room for n keys.  Returns the capacity (unchanged when
// already large enough), or -1 with 1001 or 1042.
int32_t setGrow(HashedSet* set, int32_t n);
int32_t setKeyHash(uint32_t key);

// The fixed growth sequence: capacity 2^(i+3) probed with step setStepAt(i).
constexpr int kSetGrowthSteps = 28;
int32_t setCapacityAt(int index);
int32_t setStepAt(int index);

}  // namespace vorlex
