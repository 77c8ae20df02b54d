#include "zel/PooledObject.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

namespace {

// A tiny host-side pool: the shape PooledObject is made for.
class Item : public zel::PooledObject {
public:
    static Item* Make(std::vector<Item*>& pool) { return new Item(pool); }
    static void Drain(std::vector<Item*>& pool) {
        for (Item* item : pool)
            delete item;
        pool.clear();
    }
    void Reset() override { value = 0; }
    void ReleaseToPool() override {
        Reset();
        m_pool->push_back(this);
    }
    int value = 0;

private:
    explicit Item(std::vector<Item*>& pool) : m_pool(&pool) {}
    ~Item() override = default;
    std::vector<Item*>* m_pool;
};

} // namespace

TEST(PooledObject, OnlyDerivedClassesCreateAndDestroy) {
    static_assert(std::is_abstract<zel::PooledObject>::value, "two pure operations");
    static_assert(!std::is_default_constructible<zel::PooledObject>::value,
                  "protected constructor");
    static_assert(!std::is_destructible<zel::PooledObject>::value, "protected destructor");
    static_assert(std::has_virtual_destructor<zel::PooledObject>::value, "virtual destructor");
    static_assert(sizeof(zel::PooledObject) == sizeof(void*),
                  "nothing but the table of operations");
}

TEST(PooledObject, PoolOperationsDispatchThroughTheBase) {
    std::vector<Item*> pool;
    Item* item = Item::Make(pool);
    item->value = 42;
    zel::PooledObject* base = item;
    base->ReleaseToPool();
    ASSERT_EQ(pool.size(), 1u);
    EXPECT_EQ(pool[0], item);
    EXPECT_EQ(item->value, 0);
    item->value = 5;
    base->Reset();
    EXPECT_EQ(item->value, 0);
    Item::Drain(pool);
}

TEST(PooledObject, CopyAndAssignCopyOnlyTheDerivedPart) {
    std::vector<Item*> pool;
    Item* a = Item::Make(pool);
    Item* b = Item::Make(pool);
    a->value = 1;
    b->value = 2;
    *a = *b; // the base part copies nothing and returns the object
    EXPECT_EQ(a->value, 2);
    zel::PooledObject& baseA = *a;
    EXPECT_EQ(&(baseA = *b), &baseA);
    a->ReleaseToPool();
    b->ReleaseToPool();
    Item::Drain(pool);
}
