// ZELBase splitting of texts into lists (namespace zel::util).
//
// Two ways to cut one text into an Array<BaseString<char>>:
//   - singleStringToMultipleStrings reads delimiter-separated values: any byte of
//     a delimiter set separates fields, a field that starts with '"' is quoted
//     (a doubled quote stands for one quote, delimiters inside are content), and
//     fields may be trimmed. It replaces the list's contents.
//   - splitString cuts at every occurrence of a whole separator text, without
//     quoting or trimming, and appends to the list.
//
// Each field becomes one element, grown one at a time with SetSize. An empty
// field adds nothing to its element, so the element stays as SetSize gave it: a
// slot that never held a string is the null string, a slot reused after the list
// was emptied is an empty string.
//
// Failures: only growing the list or an element can fail, with MemoryException;
// the elements added so far stay in the list. Thread safety: no shared state;
// the list must not be used by another thread during the call.
//
// Example:
//   zel::Array<zel::BaseString<char>> list;
//   zel::util::singleStringToMultipleStrings("\"a,b\",c", ",", list, false);
//   // list: "a,b", "c"
//   zel::util::splitString("a::b::::c", "::", list);
//   // list: "a,b", "c", "a", "b", "", "c"
#pragma once

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/Export.h"

namespace zel {
namespace util {

// Empties `list`, then fills it with the fields of `text` separated by any byte
// of `delimiters`.
//   - Plain field: everything up to the next delimiter (or the end of the text).
//   - Quoted field (its first byte is '"'): "" is one quote; a quote followed by
//     a delimiter or the end of the text closes the field; a quote followed by
//     anything else is content; the end of the text without a closing quote
//     closes the field.
//   - With `trim`, each field then loses leading and trailing space, CR, LF and
//     tab (a quote is recognised only as the very first byte of a field, so
//     white space before it makes the field plain and keeps its quotes).
// Consecutive delimiters give empty fields and a leading delimiter an empty first
// field, but a delimiter as the last byte adds no empty field. A null or empty
// text gives an empty list. A null delimiter set is taken as the empty set: the
// whole text is one field (quoted or plain).
//
// Example (delimiters ","):
//   "a,,b"              -> "a", "", "b"
//   "a,"                -> "a"
//   "\"say \"\"hi\"\"\",x" -> "say \"hi\"", "x"
//   " a , b " with trim -> "a", "b"
ZEL_API void singleStringToMultipleStrings(const char* text, const char* delimiters,
                                           Array<BaseString<char>>& list, bool trim);

// Appends to `list` the pieces of `text` between the leftmost, non-overlapping
// occurrences of `separator`. A text without the separator gives one piece (the
// whole text); adjacent separators give empty pieces; a leading separator an
// empty first piece; a trailing separator adds no empty last piece. A null or
// empty text appends nothing; a null or empty separator appends the whole text.
// Elements already in the list stay in front.
//
// Example: "a::b::::c" with "::" appends "a", "b", "", "c"; "a::" appends "a";
//          "::a" appends "", "a".
ZEL_API void splitString(const char* text, const char* separator, Array<BaseString<char>>& list);

} // namespace util
} // namespace zel
