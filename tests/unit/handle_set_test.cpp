// SPDX-License-Identifier: BSD-3-Clause
// Tests of the ordered and hashed sets: behaviour against std::set under
// random operation sequences, the AVL invariants after every operation, and
// the hashed table's growth points, steps and gap-closing removal.
#include "handles/handle_set.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace vorlex {
namespace {

struct SetFreer {
    void operator()(HandleSet* set) const { setFree(set); }
};
using SetPtr = std::unique_ptr<HandleSet, SetFreer>;

HashedSet* hashed(const SetPtr& set) { return reinterpret_cast<HashedSet*>(set.get()); }
OrderedSet* ordered(const SetPtr& set) { return reinterpret_cast<OrderedSet*>(set.get()); }

// Height of the subtree, checking balance factors, parent links and key
// order on the way; failures are recorded with gtest.
int checkSubtree(const SetNode* node, const SetNode* parent, std::vector<uint32_t>* inOrder) {
    if (!node) return 0;
    EXPECT_EQ(node->parent, parent) << "parent link of key " << node->key;
    int left = checkSubtree(node->left, node, inOrder);
    inOrder->push_back(node->key);
    int right = checkSubtree(node->right, node, inOrder);
    EXPECT_EQ(node->balance, right - left) << "balance of key " << node->key;
    EXPECT_LE(std::abs(right - left), 1) << "key " << node->key;
    return 1 + std::max(left, right);
}

void expectValidTree(const SetPtr& set, const std::set<uint32_t>& model) {
    std::vector<uint32_t> inOrder;
    checkSubtree(ordered(set)->root, nullptr, &inOrder);
    EXPECT_EQ(inOrder, std::vector<uint32_t>(model.begin(), model.end()));
    EXPECT_EQ(set->count, static_cast<int32_t>(model.size()));
}

// Drives one set and std::set with the same random inserts and removes over
// a small key range (so that both hits and misses are frequent).
void runAgainstModel(SetPtr set, uint32_t keyRange, int operations, unsigned seed, bool checkTree) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<uint32_t> keys(1, keyRange);
    std::set<uint32_t> model;
    for (int i = 0; i < operations; i++) {
        uint32_t key = keys(random);
        int32_t modBefore = set->modCount;
        if (random() % 3 == 0) {
            int removed = setRemove(set.get(), key);
            ASSERT_EQ(removed, static_cast<int>(model.erase(key))) << "remove " << key;
            ASSERT_EQ(set->modCount, modBefore + removed);
        } else {
            bool added = model.insert(key).second;
            ASSERT_EQ(setInsert(set.get(), key), added ? 1 : 0) << "insert " << key;
            if (!added) {
                ASSERT_EQ(set->modCount, modBefore);
            }
        }
        ASSERT_EQ(set->count, static_cast<int32_t>(model.size()));
        if (checkTree) expectValidTree(set, model);
        if (::testing::Test::HasFailure()) return;
    }
    for (uint32_t key = 1; key <= keyRange; key++)
        ASSERT_EQ(setContains(set.get(), key), model.count(key) ? 1 : 0) << "key " << key;
}

TEST(OrderedSet, RandomOperationsMatchStdSetAndKeepAvlInvariants) {
    for (unsigned seed = 1; seed <= 20; seed++)
        runAgainstModel(SetPtr(setNewOrdered()), 300, 3000, seed, true);
}

TEST(OrderedSet, AscendingAndDescendingRunsStayBalanced) {
    SetPtr set(setNewOrdered());
    std::set<uint32_t> model;
    for (uint32_t key = 1; key <= 1000; key++) {
        ASSERT_EQ(setInsert(set.get(), key), 1);
        model.insert(key);
    }
    expectValidTree(set, model);
    for (uint32_t key = 1000; key >= 500; key--) {
        ASSERT_EQ(setRemove(set.get(), key), 1);
        model.erase(key);
        expectValidTree(set, model);
    }
}

TEST(OrderedSet, RemovingNodeWithTwoChildrenKeepsOrder) {
    SetPtr set(setNewOrdered());
    for (uint32_t key : {50u, 30u, 70u, 20u, 40u, 60u, 80u, 35u, 45u}) setInsert(set.get(), key);
    ASSERT_NE(ordered(set)->root->left->left, nullptr);
    ASSERT_EQ(setRemove(set.get(), 30), 1);  // two children; predecessor 20
    expectValidTree(set, {20, 35, 40, 45, 50, 60, 70, 80});
    ASSERT_EQ(setRemove(set.get(), 50), 1);  // the root
    expectValidTree(set, {20, 35, 40, 45, 60, 70, 80});
}

TEST(OrderedSet, DuplicatesNullKeyAndAbsentKeys) {
    SetPtr set(setNewOrdered());
    EXPECT_EQ(setRemove(set.get(), 5), 0);
    EXPECT_EQ(setContains(set.get(), 5), 0);
    setErrorCode = 0;
    EXPECT_EQ(setInsert(set.get(), 0), -1);
    EXPECT_EQ(setErrorCode, kSetErrorNullKey);
    EXPECT_EQ(set->count, 0);
    EXPECT_EQ(setInsert(set.get(), 5), 1);
    int32_t mod = set->modCount;
    EXPECT_EQ(setInsert(set.get(), 5), 0);
    EXPECT_EQ(setRemove(set.get(), 6), 0);
    EXPECT_EQ(set->modCount, mod);
    EXPECT_EQ(set->count, 1);
    EXPECT_EQ(setInsert(set.get(), 0xFFFFFFFFu), 1);  // unsigned order: largest key
    EXPECT_EQ(ordered(set)->root->right->key, 0xFFFFFFFFu);
}

TEST(OrderedSet, ComparatorDecidesOrderAndEquality) {
    SetPtr set(setNewOrdered());
    // Keys equal when they agree modulo 10, ordered by that residue.
    set->compare = [](const uint32_t* a, const uint32_t* b) {
        return static_cast<int>(*a % 10) - static_cast<int>(*b % 10);
    };
    EXPECT_EQ(setInsert(set.get(), 13), 1);
    EXPECT_EQ(setInsert(set.get(), 23), 0);
    EXPECT_EQ(setContains(set.get(), 33), 1);
    EXPECT_EQ(setInsert(set.get(), 11), 1);
    EXPECT_EQ(ordered(set)->root->left->key, 11u);
}

TEST(HashedSet, RandomOperationsMatchStdSet) {
    for (unsigned seed = 1; seed <= 20; seed++)
        runAgainstModel(SetPtr(setNewHashed()), 500, 5000, seed, false);
}

TEST(HashedSet, RandomOperationsOnWideKeys) {
    SetPtr set(setNewHashed());
    std::mt19937 random(7);
    std::vector<uint32_t> keys;
    for (int i = 0; i < 5000; i++) {
        uint32_t key = static_cast<uint32_t>(random()) | 1u;
        if (setInsert(set.get(), key) == 1) keys.push_back(key);
    }
    std::shuffle(keys.begin(), keys.end(), random);
    for (size_t i = 0; i < keys.size(); i += 2) ASSERT_EQ(setRemove(set.get(), keys[i]), 1);
    for (size_t i = 0; i < keys.size(); i++)
        ASSERT_EQ(setContains(set.get(), keys[i]), i % 2 ? 1 : 0) << keys[i];
}

TEST(HashedSet, GrowthPointsAndSteps) {
    SetPtr set(setNewHashed());
    EXPECT_EQ(hashed(set)->capacity, 0);
    EXPECT_EQ(hashed(set)->slots, nullptr);
    EXPECT_EQ(hashed(set)->step, 3);
    uint32_t key = 0;
    auto insertUpTo = [&](int count) {
        while (set->count < count) ASSERT_EQ(setInsert(set.get(), ++key), 1);
    };
    insertUpTo(1);
    EXPECT_EQ(hashed(set)->capacity, 8);
    EXPECT_EQ(hashed(set)->step, 3);
    insertUpTo(6);
    EXPECT_EQ(hashed(set)->capacity, 8);
    int32_t mod = set->modCount;
    insertUpTo(7);
    EXPECT_EQ(hashed(set)->capacity, 16);
    EXPECT_EQ(hashed(set)->step, 3);
    EXPECT_EQ(set->modCount, mod + 2);  // the growth and the insert
    insertUpTo(12);
    EXPECT_EQ(hashed(set)->capacity, 16);
    insertUpTo(13);
    EXPECT_EQ(hashed(set)->capacity, 32);
    EXPECT_EQ(hashed(set)->step, 5);
    insertUpTo(25);
    EXPECT_EQ(hashed(set)->capacity, 64);
    EXPECT_EQ(hashed(set)->step, 11);
    // Removing never shrinks.
    for (uint32_t k = 1; k <= key; k++) setRemove(set.get(), k);
    EXPECT_EQ(set->count, 0);
    EXPECT_EQ(hashed(set)->capacity, 64);
}

TEST(HashedSet, GrowSequenceAndLimit) {
    EXPECT_EQ(setCapacityAt(0), 8);
    EXPECT_EQ(setCapacityAt(kSetGrowthSteps - 1), 1 << 30);
    EXPECT_EQ(setStepAt(4), 17);
    EXPECT_EQ(setStepAt(kSetGrowthSteps - 1), 134217757);
    SetPtr set(setNewHashed());
    EXPECT_EQ(setGrow(hashed(set), 5), 8);
    EXPECT_EQ(setGrow(hashed(set), 3), 8);  // already large enough: unchanged
    setErrorCode = 0;
    EXPECT_EQ(setGrow(hashed(set), 900000000), -1);  // would need 2^31 slots
    EXPECT_EQ(setErrorCode, kSetErrorTooLarge);
    EXPECT_EQ(hashed(set)->capacity, 8);
}

// Keys whose home slot in a table of 8 is `slot`.
std::vector<uint32_t> keysWithHome(int32_t slot, size_t count) {
    std::vector<uint32_t> keys;
    for (uint32_t key = 1; keys.size() < count; key++)
        if ((setKeyHash(key) & 7) == slot) keys.push_back(key);
    return keys;
}

TEST(HashedSet, RemovalKeepsDisplacedKeysReachable) {
    // Three keys sharing home slot 2 sit at 2, 5 and 0; a key of home 5 is
    // pushed further.  Removing the first of them must pull the others back
    // along the probe sequence so all stay reachable.
    std::vector<uint32_t> sameHome = keysWithHome(2, 3);
    std::vector<uint32_t> other = keysWithHome(5, 1);
    for (int removed = 0; removed < 4; removed++) {
        SetPtr set(setNewHashed());
        std::vector<uint32_t> all = sameHome;
        all.push_back(other[0]);
        for (uint32_t key : all) ASSERT_EQ(setInsert(set.get(), key), 1);
        ASSERT_EQ(hashed(set)->capacity, 8);
        EXPECT_EQ(hashed(set)->slots[2], sameHome[0]);
        EXPECT_EQ(hashed(set)->slots[5], sameHome[1]);
        ASSERT_EQ(setRemove(set.get(), all[removed]), 1);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(setContains(set.get(), all[i]), i == removed ? 0 : 1)
                << "removed " << removed << ", key " << i;
    }
}

TEST(HashedSet, HashMatchesReferenceValues) {
    // Worked by hand from the byte-wise definition.
    uint32_t h = (0x01u + 3377510u) ^ 0x19919u;
    h ^= (h << 5) + (h >> 2);
    h ^= (h << 5) + (h >> 2);
    uint32_t expected =
        (((h << 5) + static_cast<uint32_t>(static_cast<int32_t>(h) >> 2)) ^ h) & 0x7FFFFFFFu;
    EXPECT_EQ(setKeyHash(1), static_cast<int32_t>(expected));
    for (uint32_t key : {1u, 0x80000000u, 0xFFFFFFFFu, 0x12345678u}) EXPECT_GE(setKeyHash(key), 0);
    EXPECT_NE(setKeyHash(0x00000100u), setKeyHash(0x00010000u));
}

// Allocation hook that fails after a given number of successes.
int allocationsLeft = 0;
void* failingAllocate(size_t bytes) {
    if (allocationsLeft-- <= 0) return nullptr;
    return std::calloc(1, bytes);
}

class AllocationFailure : public ::testing::Test {
  protected:
    void TearDown() override { setAllocate = savedAllocate; }
    void failAfter(int successes) {
        allocationsLeft = successes;
        setAllocate = failingAllocate;
    }
    void* (*savedAllocate)(size_t) = setAllocate;
};

TEST_F(AllocationFailure, ConstructorsReturnNull) {
    failAfter(0);
    setErrorCode = 0;
    EXPECT_EQ(setNewOrdered(), nullptr);
    EXPECT_EQ(setErrorCode, kSetErrorNoMemory);
    EXPECT_NE(std::string(setErrorText).find("bytes"), std::string::npos);
    EXPECT_EQ(setNewHashed(), nullptr);
}

TEST_F(AllocationFailure, OrderedInsertKeepsContents) {
    SetPtr set(setNewOrdered());
    setInsert(set.get(), 1);
    setInsert(set.get(), 2);
    failAfter(0);
    EXPECT_EQ(setInsert(set.get(), 3), -1);
    EXPECT_EQ(setErrorCode, kSetErrorNoMemory);
    setAllocate = savedAllocate;
    expectValidTree(set, {1, 2});
}

TEST_F(AllocationFailure, HashedGrowthKeepsContents) {
    SetPtr set(setNewHashed());
    for (uint32_t key = 1; key <= 6; key++) setInsert(set.get(), key);
    int32_t mod = set->modCount;
    for (int successes = 0; successes < 2; successes++) {  // scratch set, then its slots
        failAfter(successes);
        EXPECT_EQ(setInsert(set.get(), 7), -1);
        EXPECT_EQ(setErrorCode, kSetErrorNoMemory);
        EXPECT_EQ(hashed(set)->capacity, 8);
        EXPECT_EQ(set->modCount, mod);
    }
    setAllocate = savedAllocate;
    for (uint32_t key = 1; key <= 6; key++) EXPECT_EQ(setContains(set.get(), key), 1);
    EXPECT_EQ(setInsert(set.get(), 7), 1);
}

}  // namespace
}  // namespace vorlex
