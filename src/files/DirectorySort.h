// The sort of a directory listing: ascending order of DirectoryItem::operator<.
// Exported only so that the test programs can reach it.
#pragma once

#include "zel/Directory.h"

namespace zel {
namespace detail {

// Quicksort with the median of the first, middle and last item as pivot, which
// recurses into the smaller part and loops on the larger and leaves parts of 16
// items or fewer alone; one insertion sort over the whole list then finishes.
// Not stable. Items are moved, never copied, so it does not throw.
ZEL_API void SortDirectoryItems(DirectoryItem* items, unsigned int count);

} // namespace detail
} // namespace zel
