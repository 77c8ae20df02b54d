#include "zel/SplitUtil.h"

#include "zel/StringUtil.h"

namespace zel {
namespace util {

namespace {

// One flag per byte value: whether it separates fields. The terminator never does.
struct DelimiterSet {
    explicit DelimiterSet(const char* delimiters) {
        for (bool& f : flag)
            f = false;
        if (delimiters != nullptr) {
            for (const char* d = delimiters; *d != '\0'; ++d)
                flag[static_cast<unsigned char>(*d)] = true;
        }
    }
    bool operator()(char c) const { return flag[static_cast<unsigned char>(c)]; }
    bool flag[256];
};

// An empty piece adds nothing, so the element stays as SetSize provided it.
inline void AppendPiece(BaseString<char>& element, const char* from, const char* to) {
    if (to > from)
        element.Append(from, static_cast<unsigned int>(to - from));
}

// Reads one quoted field starting after its opening quote; returns where reading
// resumes (the terminator when the text ended).
const char* ReadQuoted(const char* p, const DelimiterSet& isDelimiter, BaseString<char>& element) {
    const char* content = p;
    for (;;) {
        const char c = *p;
        if (c == '\0') {
            AppendPiece(element, content, p); // no closing quote
            return p;
        }
        if (c != '"') {
            ++p;
            continue;
        }
        const char next = p[1];
        if (next == '"') {
            AppendPiece(element, content, p + 1); // keeps one quote
            p += 2;
            content = p;
        } else if (next == '\0') {
            AppendPiece(element, content, p);
            return p + 1;
        } else if (isDelimiter(next)) {
            AppendPiece(element, content, p);
            return p + 2;
        } else {
            ++p; // a lone quote inside the field is content
        }
    }
}

} // namespace

void singleStringToMultipleStrings(const char* text, const char* delimiters,
                                   Array<BaseString<char>>& list, bool trim) {
    list.SetSize(0);
    if (text == nullptr || *text == '\0')
        return;
    const DelimiterSet isDelimiter(delimiters);
    const char* p = text;
    while (*p != '\0') {
        const unsigned int index = list.Size();
        list.SetSize(index + 1);
        BaseString<char>& element = list.Data()[index];
        if (*p == '"') {
            p = ReadQuoted(p + 1, isDelimiter, element);
        } else {
            const char* start = p;
            while (*p != '\0' && !isDelimiter(*p))
                ++p;
            AppendPiece(element, start, p);
            if (*p != '\0')
                ++p; // past the delimiter
        }
        if (trim) {
            element.TrimLeft();
            element.TrimRight();
        }
    }
}

void splitString(const char* text, const char* separator, Array<BaseString<char>>& list) {
    // A working copy: the text may live in an element of the list, which grows.
    const BaseString<char> work(text != nullptr ? text : "");
    const unsigned int total = work.Length();
    if (total == 0)
        return;
    const char* const begin = work;
    const unsigned int separatorLength = strlen(separator);
    unsigned int position = 0;
    if (separatorLength != 0) {
        while (position < total) {
            const char* found = strstr(begin + position, separator);
            if (found == nullptr)
                break;
            const unsigned int at = static_cast<unsigned int>(found - begin);
            const unsigned int index = list.Size();
            list.SetSize(index + 1);
            AppendPiece(list.Data()[index], begin + position, found);
            position = at + separatorLength;
            if (position >= total)
                return;
        }
    }
    // An empty separator would be found at every position without progress: it
    // is read as no separator at all.
    if (position < total) {
        const unsigned int index = list.Size();
        list.SetSize(index + 1);
        AppendPiece(list.Data()[index], begin + position, begin + total);
    }
}

} // namespace util
} // namespace zel
