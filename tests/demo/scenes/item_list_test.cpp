#include "demo/scenes/item_list.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <pthread.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Bytes the process holds on the heap now, under ASan or glibc.
size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

std::map<void*, int> deletedItems;
void countingDeleter(void* item) {
    ++deletedItems[item];
    std::free(item);
}

TEST(ItemList, EmptyListHasNothingToIterate) {
    ItemList list;
    EXPECT_EQ(list.size(), 0);
    EXPECT_EQ(list.next(), nullptr); // no iteration started
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.cursorName(), nullptr);
}

TEST(ItemList, AddCountsAndIteratesInOrder) {
    ItemList list;
    int items[5] = {};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list.add(&items[i]), i + 1);
    }
    EXPECT_EQ(list.size(), 5);
    std::vector<void*> seen;
    for (void* item = list.first(); item != nullptr; item = list.next()) {
        seen.push_back(item);
    }
    ASSERT_EQ(seen.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(seen[static_cast<size_t>(i)], &items[i]);
    }
    // Past the end it stays at the end.
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), nullptr);
    // A new iteration starts over; adding during one keeps it valid.
    EXPECT_EQ(list.first(), &items[0]);
    int extra = 0;
    EXPECT_EQ(list.add(&extra), 6);
    EXPECT_EQ(list.next(), &items[1]);
}

TEST(ItemList, NamesAreCopies) {
    ItemList list;
    int a = 0;
    int b = 0;
    char name[] = "greet01";
    list.add(name, &a);
    list.add(&b);
    std::strcpy(name, "changed");
    EXPECT_EQ(list.first(), &a);
    ASSERT_NE(list.cursorName(), nullptr);
    EXPECT_STREQ(list.cursorName(), "greet01");
    EXPECT_NE(list.cursorName(), name);
    EXPECT_EQ(list.next(), &b);
    EXPECT_EQ(list.cursorName(), nullptr);
}

TEST(ItemList, OwningListFreesEachItemOnceWithFree) {
    constexpr size_t kItemBytes = 4096;
    constexpr int kItems = 256; // 1 MiB, far above any noise on the heap
    const size_t before = heapInUse();
    {
        ItemList list(true);
        for (int i = 0; i < kItems; ++i) {
            void* item = std::malloc(kItemBytes);
            ASSERT_NE(item, nullptr);
            std::memset(item, i, kItemBytes);
            list.add("tile", item);
        }
        EXPECT_GE(heapInUse(), before + kItems * kItemBytes);
    } // a second free of any item would abort under ASan
    EXPECT_LT(heapInUse(), before + kItemBytes);
}

TEST(ItemList, DeleterIsUsedInsteadOfFreeOncePerItem) {
    deletedItems.clear();
    std::vector<void*> items;
    {
        ItemList list(true);
        list.setItemDeleter(countingDeleter);
        for (int i = 0; i < 50; ++i) {
            items.push_back(std::malloc(16));
            list.add(items.back());
        }
    }
    ASSERT_EQ(deletedItems.size(), items.size());
    for (void* item : items) {
        EXPECT_EQ(deletedItems[item], 1);
    }
}

TEST(ItemList, NodesKeepTheDeleterTheyWereAddedWith) {
    deletedItems.clear();
    void* plain = std::malloc(16);
    void* counted = std::malloc(16);
    {
        ItemList list(true);
        list.add(plain); // freed with free
        list.setItemDeleter(countingDeleter);
        list.add(counted);
    }
    EXPECT_EQ(deletedItems.size(), 1u);
    EXPECT_EQ(deletedItems[counted], 1);
}

TEST(ItemList, ListThatDoesNotOwnLeavesItemsAlone) {
    deletedItems.clear();
    int items[3] = {};
    {
        ItemList list(false);
        list.setItemDeleter(countingDeleter);
        for (int& item : items) {
            list.add("x", &item); // stack items: freeing one would crash
        }
    }
    EXPECT_TRUE(deletedItems.empty());
}

void* buildAndDestroyLongList(void* result) {
    {
        auto list = std::make_unique<ItemList>(true);
        for (int i = 0; i < 100000; ++i) {
            list->add(std::malloc(8));
        }
        *static_cast<int*>(result) = list->size();
    }
    return nullptr;
}

TEST(ItemList, LongListIsDestroyedWithoutDeepRecursion) {
    // 100000 nested destructor frames need megabytes; this thread has 256 KiB.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    int count = 0;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, buildAndDestroyLongList, &count), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(count, 100000);
}

} // namespace
