// Drives a BaseString<char> with an operation sequence read from the input and
// checks it after every step against a plain model (null flag + std::string), and
// against the invariants of its word: power-of-two buffers from 16 bytes that
// never shrink while they live, a text that fits its buffer, a cached length that
// is uncounted or equal to the text's length.
#include "zel/BaseString.h"
#include "zel/Exception.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using Str = zel::BaseString<char>;
constexpr unsigned int kUncounted = Str::kUncounted;

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    bool empty() const { return pos >= size; }
    unsigned int byte() { return pos < size ? data[pos++] : 0; }
    unsigned int number() { // mostly small, sometimes large
        unsigned int b = byte();
        if (b < 0xF0)
            return b % 48;
        return (byte() << 8) | byte();
    }
    std::string text() {
        unsigned int n = number();
        std::string t;
        for (unsigned int i = 0; i < n && !empty(); ++i) {
            char c = static_cast<char>(byte());
            t += c == '\0' ? ' ' : c;
        }
        return t;
    }
};

struct Model {
    bool null = true;
    std::string text;
};

[[noreturn]] void Fail(const char* what, int op) {
    std::fprintf(stderr, "basestring fuzz: %s after operation %d\n", what, op);
    std::abort();
}

bool IsWhite(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

// Checks the string against the model and the word's invariants.
void Check(const Str& s, const Model& m, int op, unsigned int& lastExponent) {
    const char* p = s;
    if ((p == nullptr) != m.null)
        Fail("null state differs", op);
    const unsigned int e = s.m_capacityLog2;
    if (p == nullptr) {
        if (e != 0)
            Fail("exponent of the null string", op);
        lastExponent = 0;
        return;
    }
    if (e < 4 || e > 27)
        Fail("exponent out of range", op);
    if (e < lastExponent)
        Fail("buffer shrank", op);
    lastExponent = e;
    const std::size_t real = std::strlen(p);
    if (real >= (std::size_t(1) << e))
        Fail("text does not fit its buffer", op);
    if (s.m_length != kUncounted && s.m_length != real)
        Fail("cached length differs from the text", op);
    if (m.text != std::string(p, real))
        Fail("text differs from the model", op);
    // Ask a copy when uncounted, so that the state survives to the next step.
    const unsigned int length = s.m_length == kUncounted ? Str(s).Length() : s.Length();
    if (length != real)
        Fail("Length() differs", op);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    Str s;
    Model m;
    unsigned int lastExponent = 0;
    int op = 0;
    // Texts stay below 1 MiB: long enough for every path, short enough to be fast
    // (the 134,217,727-character limit is covered by the unit tests).
    while (!in.empty() && op < 200 && m.text.size() < (1u << 20)) {
        const unsigned int code = in.byte() % 17;
        const char* own = s;
        switch (code) {
        case 0: { // assign a text
            std::string t = in.text();
            s = t.c_str();
            m.null = false;
            m.text = t;
            break;
        }
        case 1: // assign null
            s = static_cast<const char*>(nullptr);
            m = Model();
            break;
        case 2: { // append a text
            std::string t = in.text();
            s += t.c_str();
            if (!(m.null && t.empty())) {
                m.null = false;
                m.text += t;
            }
            break;
        }
        case 3: { // Append(s, n), n possibly past the text's end
            std::string t = in.text();
            unsigned int n = in.number();
            s.Append(t.c_str(), n);
            std::string part = t.substr(0, n);
            if (!(m.null && part.empty())) {
                m.null = false;
                m.text += part;
            }
            break;
        }
        case 4: { // TrimLeft
            s.TrimLeft();
            std::size_t k = 0;
            while (k < m.text.size() && IsWhite(m.text[k]))
                ++k;
            m.text.erase(0, k);
            break;
        }
        case 5: // TrimRight
            s.TrimRight();
            while (!m.text.empty() && IsWhite(m.text.back()))
                m.text.pop_back();
            break;
        case 6: { // Truncate
            unsigned int n = in.number();
            s.Truncate(n);
            if (n < m.text.size())
                m.text.resize(n);
            break;
        }
        case 7: { // Resize keeping the text (on a counted string)
            unsigned int n = in.number();
            s.Length();
            s.Resize(n, false);
            if (n < m.text.size())
                m.text.resize(n);
            if (n > 0 && m.null) {
                m.null = false;
                m.text.clear();
            }
            break;
        }
        case 8: { // Resize discarding, then fill the buffer as callers do
            unsigned int n = in.number();
            s.Resize(n, true);
            if (s.m_buffer != nullptr) {
                for (unsigned int i = 0; i < n; ++i)
                    s.m_buffer[i] = static_cast<char>('a' + i % 26);
                s.m_buffer[n] = '\0';
                s.m_length = n;
                m.null = false;
                m.text.assign(n, ' ');
                for (unsigned int i = 0; i < n; ++i)
                    m.text[i] = static_cast<char>('a' + i % 26);
            }
            break;
        }
        case 9: { // copy construction and assignment back
            Str copy(s);
            unsigned int copyExponent = 0;
            Check(copy, m, op, copyExponent);
            s = copy;
            break;
        }
        case 10: { // assignment into a separate string, then back
            Str other(in.text().c_str());
            other = s;
            unsigned int otherExponent = 0;
            Check(other, m, op, otherExponent);
            s = other;
            break;
        }
        case 11: { // FindLast
            std::string pattern = in.text().substr(0, in.byte() % 4);
            int found = s.FindLast(pattern.c_str());
            int expected;
            if (pattern.empty())
                expected = static_cast<int>(m.text.size());
            else {
                std::size_t at = m.text.rfind(pattern);
                expected = at == std::string::npos ? -1 : static_cast<int>(at);
            }
            if (found != expected)
                Fail("FindLast differs", op);
            break;
        }
        case 12: // forget the cached length
            if (s.m_buffer != nullptr)
                s.m_length = kUncounted;
            break;
        case 13: { // assign from inside the own buffer
            if (own != nullptr) {
                std::size_t at = in.number() % (m.text.size() + 1);
                s = own + at;
                m.text.erase(0, at);
            }
            break;
        }
        case 14: { // append from inside the own buffer
            if (own != nullptr) {
                std::size_t at = in.number() % (m.text.size() + 1);
                std::string tail = m.text.substr(at);
                s += own + at;
                m.text += tail;
            }
            break;
        }
        case 15: // Clear
            s.Clear();
            m.text.clear();
            break;
        case 16: { // append a text kept in the buffer past the terminator
            std::string t = in.text();
            if (own != nullptr) {
                const std::size_t length = m.text.size();
                const std::size_t room = (std::size_t(1) << s.m_capacityLog2) - length - 1;
                if (room >= 2) {
                    if (t.size() > room - 1)
                        t.resize(room - 1);
                    char* past = s.m_buffer + length + 1;
                    std::memcpy(past, t.c_str(), t.size() + 1);
                    s += past;
                    m.text += t;
                }
            }
            break;
        }
        }
        Check(s, m, op, lastExponent);
        ++op;
    }
    return 0;
}
