#include "zel/PooledObject.h"

#include <gtest/gtest.h>

#include <typeinfo>
#include <vector>

namespace {

// A host-side pool: what PooledObject is made for. The library holds no pool and
// calls nothing; these tests check what a host relies on across the library's
// boundary: the base's operations, copy and virtual destructor are the library's
// exported ones, and its type information is shared with the host.
class Item : public zel::PooledObject {
public:
    static Item* Make(std::vector<Item*>& pool, int* destroyed) {
        return new Item(pool, destroyed);
    }
    static void Drain(std::vector<Item*>& pool) {
        for (Item* item : pool)
            delete item; // through the derived class: the only way it may end
        pool.clear();
    }
    void Reset() override { value = 0; }
    void ReleaseToPool() override {
        Reset();
        m_pool->push_back(this);
    }
    int value = 0;

protected:
    Item(std::vector<Item*>& pool, int* destroyed) : m_pool(&pool), m_destroyed(destroyed) {}
    ~Item() override {
        if (m_destroyed != nullptr)
            ++*m_destroyed;
    }

private:
    std::vector<Item*>* m_pool;
    int* m_destroyed;
};

// A further derived kind kept in the same pool and ended through Item*.
class TaggedItem : public Item {
public:
    static TaggedItem* Make(std::vector<Item*>& pool, int* destroyed, int* tagsDestroyed) {
        return new TaggedItem(pool, destroyed, tagsDestroyed);
    }
    void Reset() override {
        Item::Reset();
        tag = 0;
    }
    int tag = 0;

private:
    TaggedItem(std::vector<Item*>& pool, int* destroyed, int* tagsDestroyed)
        : Item(pool, destroyed), m_tagsDestroyed(tagsDestroyed) {}
    ~TaggedItem() override { ++*m_tagsDestroyed; }
    int* m_tagsDestroyed;
};

} // namespace

TEST(PooledObject, PoolOperationsDispatchThroughTheBase) {
    std::vector<Item*> pool;
    int destroyed = 0;
    int tagsDestroyed = 0;
    Item* plain = Item::Make(pool, &destroyed);
    TaggedItem* tagged = TaggedItem::Make(pool, &destroyed, &tagsDestroyed);
    plain->value = 42;
    tagged->value = 7;
    tagged->tag = 3;
    for (zel::PooledObject* base :
         {static_cast<zel::PooledObject*>(plain), static_cast<zel::PooledObject*>(tagged)})
        base->ReleaseToPool();
    ASSERT_EQ(pool.size(), 2u);
    EXPECT_EQ(pool[0], plain);
    EXPECT_EQ(pool[1], tagged);
    EXPECT_EQ(plain->value, 0);
    EXPECT_EQ(tagged->value, 0);
    EXPECT_EQ(tagged->tag, 0); // the most derived Reset ran
    Item::Drain(pool);
    EXPECT_EQ(destroyed, 2);
}

TEST(PooledObject, DeletingThroughADerivedPointerEndsTheWholeObject) {
    std::vector<Item*> pool;
    int destroyed = 0;
    int tagsDestroyed = 0;
    pool.push_back(TaggedItem::Make(pool, &destroyed, &tagsDestroyed));
    pool.push_back(Item::Make(pool, &destroyed));
    Item::Drain(pool); // delete through Item*: the virtual destructor reaches TaggedItem
    EXPECT_EQ(tagsDestroyed, 1);
    EXPECT_EQ(destroyed, 2);
}

TEST(PooledObject, TypeInformationCrossesTheLibraryBoundary) {
    std::vector<Item*> pool;
    int destroyed = 0;
    int tagsDestroyed = 0;
    TaggedItem* tagged = TaggedItem::Make(pool, &destroyed, &tagsDestroyed);
    Item* plain = Item::Make(pool, &destroyed);
    zel::PooledObject* base = tagged;
    EXPECT_EQ(dynamic_cast<TaggedItem*>(base), tagged);
    EXPECT_EQ(dynamic_cast<Item*>(base), static_cast<Item*>(tagged));
    EXPECT_EQ(typeid(*base), typeid(TaggedItem));
    zel::PooledObject* other = plain;
    EXPECT_EQ(dynamic_cast<TaggedItem*>(other), nullptr);
    tagged->ReleaseToPool();
    plain->ReleaseToPool();
    Item::Drain(pool);
}

TEST(PooledObject, CopyAndAssignCopyOnlyTheDerivedPart) {
    std::vector<Item*> pool;
    int destroyed = 0;
    Item* a = Item::Make(pool, &destroyed);
    Item* b = Item::Make(pool, &destroyed);
    a->value = 1;
    b->value = 2;
    *a = *b; // the base part copies nothing and returns the object
    EXPECT_EQ(a->value, 2);
    zel::PooledObject& baseA = *a;
    EXPECT_EQ(&(baseA = *b), &baseA);
    a->ReleaseToPool();
    b->ReleaseToPool();
    Item::Drain(pool);
    EXPECT_EQ(destroyed, 2);
}
