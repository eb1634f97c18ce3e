#pragma once
#include <cstdint>

// Doubly linked list whose head and nodes are the same class; the head keeps
// the count, the tail and one iteration cursor (one iteration at a time).
class ItemList {
  public:
    using Deleter = void (*)(void*);

    explicit ItemList(bool ownsItems = false);
    // Frees this node's item (if owned) and name, then every following node,
    // one after another: destroying the head destroys the whole list.
    virtual ~ItemList();
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;

    // Appends a node holding item and a copy of name (may be null); returns
    // the new count. Throws std::bad_alloc and leaves the list as it was (the
    // item still the caller's) when the node or the name cannot be allocated.
    int add(const char* name, void* item);
    int add(void* item) { return add(nullptr, item); }
    // Item of the first node, or null for an empty list.
    void* first();
    // Item of the node after the cursor, or null at the end and after it.
    void* next();

    int size() const { return count; }
    // Set before adding: each node takes the head's deleter when added.
    void setItemDeleter(Deleter deleter) { itemDeleter = deleter; }
    // Name of the node the cursor is on, or null.
    const char* cursorName() const { return cursor != nullptr ? cursor->name : nullptr; }

  private:
    Deleter itemDeleter = nullptr;
    void* item = nullptr;
    int32_t count = 0;
    ItemList* nextNode = nullptr;
    ItemList* prevNode = nullptr;
    ItemList* tail = nullptr;
    ItemList* cursor = nullptr;
    char* name = nullptr;
    uint8_t ownsItems = 0;
};

// One tile of a greeting picture (allocated with malloc, owned by its node).
struct Tile {
    float corners[4][3];
    float texcoords[4][2];
    float delay;
    float velocity[3];
    float alpha;
};
