#pragma once
#include <cstdint>

// Doubly linked list whose head and nodes are the same class; the head keeps
// the count, the tail and one iteration cursor.
class ItemList {
  public:
    using Deleter = void (*)(void*);

    explicit ItemList(bool ownsItems = false);
    virtual ~ItemList();
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;

    int add(const char* name, void* item);
    int add(void* item) { return add(nullptr, item); }
    void* first();
    void* next();

    int size() const { return count; }
    void setItemDeleter(Deleter deleter) { itemDeleter = deleter; }
    const char* nodeName() const { return name; }

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
