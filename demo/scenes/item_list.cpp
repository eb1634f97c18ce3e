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

int ItemList::add(const char* nodeName, void* newItem) {
    auto* node = new ItemList(ownsItems != 0);
    node->itemDeleter = itemDeleter;
    tail->nextNode = node;
    node->prevNode = tail;
    node->nextNode = nullptr;
    node->item = newItem;
    if (nodeName != nullptr) {
        size_t length = std::strlen(nodeName);
        node->name = static_cast<char*>(std::malloc(length + 1));
        if (node->name == nullptr) {
            throw std::bad_alloc();
        }
        std::memcpy(node->name, nodeName, length + 1);
    }
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
