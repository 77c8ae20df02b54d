// The sort of a directory listing: ascending order of DirectoryItem::operator<.
// Exported only so that the test programs can reach it.
#pragma once

#include "zel/Directory.h"

#include <type_traits>
#include <utility>

namespace zel {
namespace detail {

// Quicksort with the median of the first, middle and last item as pivot, which
// recurses into the smaller part and loops on the larger and leaves parts of 16
// items or fewer alone; one insertion sort over the whole list then finishes.
// Not stable. Items are exchanged, never copied (a DirectoryItem has no move
// operations: the sort uses SwapDirectoryItems), so it does not throw.
ZEL_API void SortDirectoryItems(DirectoryItem* items, unsigned int count);

// How the sort exchanges two items: through moves, or for DirectoryItem, whose
// moves copy, through the library's exchange of names.
template <typename T> struct ListItemSwap {
    static void Swap(T& a, T& b) {
        T t(std::move(a));
        a = std::move(b);
        b = std::move(t);
    }
};
template <> struct ListItemSwap<DirectoryItem> {
    static void Swap(DirectoryItem& a, DirectoryItem& b) noexcept { SwapDirectoryItems(a, b); }
};

// The same sort for any list ordered by `less`: the same comparisons give the
// same order, so a list whose keys compare as the items' names would comes out
// in the items' order.
template <typename T, typename Less> class ListSort {
public:
    static void Sort(T* items, unsigned int count, Less less) {
        if (items == nullptr || count < 2)
            return;
        QuickSort(items, 0, static_cast<long>(count) - 1, less);
        for (unsigned int i = 1; i < count; ++i) {
            if (!less(items[i], items[i - 1]))
                continue;
            if constexpr (kMoves) {
                T moving(std::move(items[i]));
                unsigned int j = i;
                do {
                    items[j] = std::move(items[j - 1]);
                    --j;
                } while (j > 0 && less(moving, items[j - 1]));
                items[j] = std::move(moving);
            } else {
                unsigned int j = i;
                do {
                    Swap(items[j], items[j - 1]);
                    --j;
                } while (j > 0 && less(items[j], items[j - 1]));
            }
        }
    }

private:
    static constexpr long kLeaveAlone = 16;

    // Items that move without throwing take the insertion sort's gap along;
    // others are exchanged step by step.
    static constexpr bool kMoves =
        std::is_nothrow_move_constructible<T>::value && std::is_nothrow_move_assignable<T>::value;

    static void Swap(T& a, T& b) { ListItemSwap<T>::Swap(a, b); }

    // Sorts items[low..high] down to parts of kLeaveAlone items or fewer.
    static void QuickSort(T* items, long low, long high, Less& less) {
        while (high - low + 1 > kLeaveAlone) {
            const long middle = low + (high - low) / 2;
            // Median of three: afterwards items[low] <= items[middle] <= items[high].
            if (less(items[middle], items[low]))
                Swap(items[middle], items[low]);
            if (less(items[high], items[low]))
                Swap(items[high], items[low]);
            if (less(items[high], items[middle]))
                Swap(items[high], items[middle]);
            // Park the pivot next to the end; items[low] and items[high] stop the scans.
            Swap(items[middle], items[high - 1]);
            const T& pivot = items[high - 1];
            long i = low;
            long j = high - 1;
            for (;;) {
                while (less(items[++i], pivot)) {
                }
                while (less(pivot, items[--j])) {
                }
                if (i >= j)
                    break;
                Swap(items[i], items[j]);
            }
            Swap(items[i], items[high - 1]);
            // items[i] is the pivot in its final place.
            if (i - low < high - i) {
                QuickSort(items, low, i - 1, less);
                low = i + 1;
            } else {
                QuickSort(items, i + 1, high, less);
                high = i - 1;
            }
        }
    }
};

template <typename T, typename Less> void SortList(T* items, unsigned int count, Less less) {
    ListSort<T, Less>::Sort(items, count, less);
}

} // namespace detail
} // namespace zel
