#include "demo/scenes/item_list.h"

#include <cstdlib>
#include <cstring>
#include <new>

ItemList::ItemList(bool owns) : tail(this), ownsItems(owns ? 1 : 0) {}

ItemList::~ItemList() {
    if (item != nullptr && ownsItems != 0) {
        if (itemDeleter != nullptr) {
            itemDeleter(item);
        } else {
            std::free(item);
        }
    }
    std::free(name);
    // Unlink each node before deleting it, so no destructor walks the rest of
    // the chain: a long list costs no stack.
    ItemList* node = nextNode;
    nextNode = nullptr;
    while (node != nullptr) {
        ItemList* following = node->nextNode;
        node->nextNode = nullptr;
        delete node;
        node = following;
    }
}

int ItemList::add(const char* newName, void* newItem) {
    // Everything that can fail comes before the node is linked, so a failure
    // leaves neither a half-built node in the chain nor a stale tail.
    char* nameCopy = nullptr;
    if (newName != nullptr) {
        const size_t length = std::strlen(newName);
        nameCopy = static_cast<char*>(std::malloc(length + 1));
        if (nameCopy == nullptr) {
            throw std::bad_alloc();
        }
        std::memcpy(nameCopy, newName, length + 1);
    }
    ItemList* node = new (std::nothrow) ItemList(ownsItems != 0);
    if (node == nullptr) {
        std::free(nameCopy);
        throw std::bad_alloc();
    }
    node->itemDeleter = itemDeleter;
    node->item = newItem;
    node->name = nameCopy;
    tail->nextNode = node;
    node->prevNode = tail;
    node->nextNode = nullptr;
    tail = node;
    return ++count;
}

void* ItemList::first() {
    cursor = nextNode;
    return cursor != nullptr ? cursor->item : nullptr;
}

void* ItemList::next() {
    if (cursor == nullptr) {
        return nullptr;
    }
    cursor = cursor->nextNode;
    return cursor != nullptr ? cursor->item : nullptr;
}
