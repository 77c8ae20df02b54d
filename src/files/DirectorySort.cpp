#include "files/DirectorySort.h"

#include <utility>

namespace zel {
namespace detail {

namespace {

const long kLeaveAlone = 16;

void Swap(DirectoryItem& a, DirectoryItem& b) {
    DirectoryItem t(std::move(a));
    a = std::move(b);
    b = std::move(t);
}

// Sorts items[low..high] down to parts of kLeaveAlone items or fewer.
void QuickSort(DirectoryItem* items, long low, long high) {
    while (high - low + 1 > kLeaveAlone) {
        const long middle = low + (high - low) / 2;
        // Median of three: afterwards items[low] <= items[middle] <= items[high].
        if (items[middle] < items[low])
            Swap(items[middle], items[low]);
        if (items[high] < items[low])
            Swap(items[high], items[low]);
        if (items[high] < items[middle])
            Swap(items[high], items[middle]);
        // Park the pivot next to the end; items[low] and items[high] stop the scans.
        Swap(items[middle], items[high - 1]);
        const DirectoryItem& pivot = items[high - 1];
        long i = low;
        long j = high - 1;
        for (;;) {
            while (items[++i] < pivot) {
            }
            while (pivot < items[--j]) {
            }
            if (i >= j)
                break;
            Swap(items[i], items[j]);
        }
        Swap(items[i], items[high - 1]);
        // items[i] is the pivot in its final place.
        if (i - low < high - i) {
            QuickSort(items, low, i - 1);
            low = i + 1;
        } else {
            QuickSort(items, i + 1, high);
            high = i - 1;
        }
    }
}

} // namespace

void SortDirectoryItems(DirectoryItem* items, unsigned int count) {
    if (items == nullptr || count < 2)
        return;
    QuickSort(items, 0, static_cast<long>(count) - 1);
    for (unsigned int i = 1; i < count; ++i) {
        if (!(items[i] < items[i - 1]))
            continue;
        DirectoryItem moving(std::move(items[i]));
        unsigned int j = i;
        do {
            items[j] = std::move(items[j - 1]);
            --j;
        } while (j > 0 && moving < items[j - 1]);
        items[j] = std::move(moving);
    }
}

} // namespace detail
} // namespace zel
