#include "files/DirectorySort.h"

namespace zel {
namespace detail {

namespace {

struct ItemLess {
    bool operator()(const DirectoryItem& a, const DirectoryItem& b) const { return a < b; }
};

} // namespace

void SortDirectoryItems(DirectoryItem* items, unsigned int count) {
    SortList(items, count, ItemLess());
}

} // namespace detail
} // namespace zel
