// Allocation failure across the exported interface: every operation that
// allocates runs once without failures (its reference) and then with exactly its
// 1st, 2nd, ... allocation failing, until a run makes fewer allocations than the
// one failed. Each run must either give the reference result, or fail as the
// operation documents (MemoryException, or std::bad_alloc for the exception
// family) with its argument objects valid, and unchanged where documented so.
// Leaks show in the sanitize build.
//
// Allocations fail through both seams: the container allocators (this program's
// and the library's, see testing/TestHooks.h) and this program's operator new,
// which on Linux also serves the library's standard strings and vectors. Under
// Windows the library's DLL keeps the C++ runtime's own operator new, so there only
// the container allocations inside the library fail.
#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/BitString.h"
#include "zel/BlowFish.h"
#include "zel/Directory.h"
#include "zel/Exception.h"
#include "zel/GuidUtil.h"
#include "zel/Memory.h"
#include "zel/Security.h"
#include "zel/SplitUtil.h"

#include "TestSupport.h"
#include "testing/TestHooks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// The directory search turns some allocation failures into short listings; its
// rows report what they find without failing until that is fixed. Set to true
// once the walk throws MemoryException for every failed allocation.
constexpr bool kDirectoryRowsMustPass = true;

namespace {

// ---- The failing allocator ----

bool g_armed = false;
unsigned long g_calls = 0;  // allocations while armed
unsigned long g_failAt = 0; // the one that fails (1-based); 0: none

// True when this allocation must fail.
bool FailThisOne() {
    if (!g_armed)
        return false;
    return ++g_calls == g_failAt;
}

void* SweepAllocate(std::size_t bytes) {
    if (FailThisOne())
        return nullptr;
    return std::malloc(bytes);
}

void* NewBlock(std::size_t bytes) {
    if (FailThisOne())
        throw std::bad_alloc();
    void* p = std::malloc(bytes != 0 ? bytes : 1);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void* NewBlockNoThrow(std::size_t bytes) noexcept {
    if (FailThisOne())
        return nullptr;
    return std::malloc(bytes != 0 ? bytes : 1);
}

} // namespace

void* operator new(std::size_t bytes) {
    return NewBlock(bytes);
}
void* operator new[](std::size_t bytes) {
    return NewBlock(bytes);
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    return NewBlockNoThrow(bytes);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    return NewBlockNoThrow(bytes);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

// ---- One row of the table ----

// How an operation may fail.
enum class Failure {
    Memory,            // MemoryException
    MemoryOrBadAlloc,  // the exception family: std::bad_alloc, or MemoryException
    Annotated,         // an Exception whose last message starts with the row's text
    MemoryOrAnnotated, // either of the two above
    Never,             // nothing may escape (the log drops what it cannot write)
};

enum class Outcome { Completed, Failed, Wrong };

// What a row's body reports through: the arguments' state before the call, the
// call itself (run with the chosen allocation failing) and the state after it.
class Probe {
public:
    Probe(unsigned long failAt, Failure failure, const char* annotation)
        : m_failAt(failAt), m_failure(failure), m_annotation(annotation) {}

    void Before(const std::string& state) { m_before = state; }
    void Run(const std::function<void()>& call) {
        g_calls = 0;
        g_failAt = m_failAt;
        zel::memory::allocate = &SweepAllocate;
        zel::detail::SetLibraryAllocatorForTesting(&SweepAllocate, nullptr);
        g_armed = true;
        try {
            call();
            m_outcome = Outcome::Completed;
        } catch (zel::MemoryException&) {
            const bool allowed = m_failure == Failure::Memory ||
                                 m_failure == Failure::MemoryOrBadAlloc ||
                                 m_failure == Failure::MemoryOrAnnotated;
            m_outcome = allowed ? Outcome::Failed : Outcome::Wrong;
            if (!allowed)
                m_what = "MemoryException where it is not documented";
        } catch (zel::Exception& e) {
            g_armed = false;
            const unsigned n = e.getMessageTotal();
            const std::string last = n > 0 ? e.getErrorMessage(n - 1) : "";
            const bool annotated =
                m_failure == Failure::Annotated || m_failure == Failure::MemoryOrAnnotated;
            if (annotated && last.compare(0, std::strlen(m_annotation), m_annotation) == 0) {
                m_outcome = Outcome::Failed;
            } else {
                m_outcome = Outcome::Wrong;
                m_what = "Exception \"" + last + "\"";
            }
        } catch (std::bad_alloc&) {
            m_outcome = m_failure == Failure::MemoryOrBadAlloc ? Outcome::Failed : Outcome::Wrong;
            if (m_outcome == Outcome::Wrong)
                m_what = "std::bad_alloc instead of MemoryException";
        } catch (...) {
            m_outcome = Outcome::Wrong;
            m_what = "an exception outside the documented ones";
        }
        g_armed = false;
        m_calls = g_calls;
        zel::detail::SetLibraryAllocatorForTesting(nullptr, nullptr);
        zel::memory::allocate = &zel::memory::DefaultAllocate;
    }
    void After(const std::string& state) { m_after = state; }
    // What the call returned; compared only for runs that completed.
    void Result(const std::string& result) { m_result = result; }

    Outcome outcome() const { return m_outcome; }
    const std::string& what() const { return m_what; }
    unsigned long calls() const { return m_calls; }
    const std::string& before() const { return m_before; }
    const std::string& after() const { return m_after; }
    std::string full() const { return m_after + (m_result.empty() ? "" : " -> " + m_result); }

private:
    unsigned long m_failAt;
    Failure m_failure;
    const char* m_annotation;
    Outcome m_outcome = Outcome::Wrong;
    std::string m_what = "not run";
    unsigned long m_calls = 0;
    std::string m_before, m_after, m_result;
};

struct Row {
    const char* name;
    Failure failure;
    bool unchangedOnFailure; // the arguments keep their state when the call fails
    std::function<void(Probe&)> body;
    const char* annotation = nullptr; // Failure::*Annotated: how the last message starts
    const char* fallback = nullptr;   // a documented result that reports the failure
};

// ---- Describing argument objects ----

std::string Text(const zel::BaseString<char>& s) {
    const char* text = s;
    return text == nullptr ? std::string("<null>") : "\"" + std::string(text) + "\"";
}

std::string Texts(const zel::Array<zel::BaseString<char>>& list) {
    std::string out = std::to_string(list.Size()) + ":";
    for (unsigned i = 0; i < list.Size(); ++i)
        out += " " + Text(list[i]);
    return out;
}

std::string Bytes(const zel::Array<unsigned char>& a) {
    std::ostringstream out;
    out << a.Size() << ":";
    for (unsigned i = 0; i < a.Size(); ++i)
        out << ' ' << static_cast<int>(a[i]);
    return out.str();
}

std::string Messages(const zel::Exception& e) {
    std::string out = std::to_string(e.getMessageTotal()) + ":";
    for (unsigned i = 0; i < e.getMessageTotal(); ++i)
        out += " [" + std::string(e.getErrorMessage(i)) + "]";
    return out;
}

std::string Bits(const zel::BitString& b) {
    zel::BaseString<char> text;
    b.AsString(text);
    return std::to_string(b.NumBits()) + "/" + std::to_string(b.GetUnusedBits()) + ":" + Text(text);
}

std::string Listing(zel::DirectoryIterator& it) {
    std::string out = std::to_string(it.NumMatches()) + ":";
    zel::DirectoryItem item;
    it.Reset();
    while (it.GetNextItem(item))
        out += std::string(" ") + item.Name() + (item.IsDirectory() ? "/" : "");
    it.Reset();
    return out;
}

// ---- Running the table ----

// Runs one row for k = 0 (no failure: the reference) and k = 1, 2, ... until
// a run makes fewer than k allocations. Returns the faults found, one a line.
std::string Sweep(const Row& row) {
    Probe reference(0, row.failure, row.annotation);
    row.body(reference);
    if (reference.outcome() != Outcome::Completed)
        return "without failures: " + reference.what() + "\n";
    if (reference.calls() == 0)
        return ""; // nothing here fails (under Windows the DLL's own operator new)
    if (std::getenv("ZEL_SWEEP_VERBOSE") != nullptr)
        std::printf("[ sweep    ] %s: %lu allocations\n", row.name, reference.calls());

    std::string faults;
    const unsigned long kLimit = 20000;
    for (unsigned long k = 1; k <= kLimit; ++k) {
        Probe p(k, row.failure, row.annotation);
        row.body(p);
        const std::string at = "allocation " + std::to_string(k) + ": ";
        switch (p.outcome()) {
        case Outcome::Completed:
            if (row.fallback != nullptr && p.full() == p.after() + " -> " + row.fallback)
                break; // the documented answer to a failure
            if (p.full() != reference.full())
                faults += at + "reported success with " + p.full() + ", expected " +
                          reference.full() + "\n";
            break;
        case Outcome::Failed:
            if (row.unchangedOnFailure && p.after() != p.before())
                faults += at + "failed and changed its arguments from " + p.before() + " to " +
                          p.after() + "\n";
            break;
        case Outcome::Wrong:
            faults += at + p.what() + "\n";
            break;
        }
        if (p.calls() < k)
            return faults; // the failure was never reached: the sweep is complete
    }
    return faults + "still allocating after " + std::to_string(kLimit) + " runs\n";
}

// The number of rows with faults; each is a failure when `mustPass`, otherwise
// printed as pending.
int RunTable(const std::vector<Row>& rows, bool mustPass) {
    int faulty = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string faults = Sweep(row);
        if (faults.empty())
            continue;
        ++faulty;
        if (mustPass)
            ADD_FAILURE() << row.name << ":\n" << faults;
        else
            std::printf("[ pending  ] %s:\n%s", row.name, faults.c_str());
    }
    return faulty;
}

// ---- The rows ----

// A name no other run or test program uses.
std::string ObjectName(const char* what) {
    static unsigned counter = 0;
    static const unsigned salt = std::random_device{}();
    return "zel-sweep-" + std::string(what) + "-" + std::to_string(salt) + "-" +
           std::to_string(++counter);
}

const char kLongText[] = "a text long enough to need more than one block of the cipher";

std::vector<Row> CoreRows() {
    using zel::Array;
    using zel::BaseString;
    return {
        // Exceptions
        {"Exception(format)", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             std::optional<zel::Exception> e;
             p.Run([&] { e.emplace("open %s failed", "a.txt"); });
             p.After(e ? Messages(*e) : "none");
         }},
        {"Exception::appendMessage", Failure::MemoryOrBadAlloc, true,
         [](Probe& p) {
             zel::Exception e("the first message, longer than a short string");
             p.Before(Messages(e));
             p.Run([&] { e.appendMessage("%s::%s: Exception caught", "Reader", "Open"); });
             p.After(Messages(e));
         }},
        {"Exception copy", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             zel::Exception e("the first message, longer than a short string");
             e.appendMessage("the second message, longer than a short string");
             std::optional<zel::Exception> copy;
             p.Run([&] { copy.emplace(e); });
             p.After((copy ? Messages(*copy) : "none") + " from " + Messages(e));
         }},
        {"Exception::operator=", Failure::MemoryOrBadAlloc, true,
         [](Probe& p) {
             zel::Exception from("the first message, longer than a short string");
             from.appendMessage("the second message, longer than a short string");
             zel::Exception to("the old message of the target, also a long one");
             to.appendMessage("and its second message, also a long one");
             p.Before(Messages(to));
             p.Run([&] { to = from; });
             p.After(Messages(to));
         }},
        {"Exception::dumpStack", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             zel::Exception e("the first message, longer than a short string");
             e.appendMessage("the second message, longer than a short string");
             std::vector<std::string> messages, locations;
             p.Run([&] { e.dumpStack(messages, locations, false); });
             std::string state =
                 std::to_string(messages.size()) + "/" + std::to_string(locations.size()) + ":";
             for (auto& m : messages)
                 state += " [" + m + "]";
             p.After(state + " " + Messages(e));
         }},
        {"Exception::rethrow", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             zel::InvalidIndexException e(5, 3);
             std::optional<zel::Exception> thrown;
             p.Run([&] {
                 try {
                     e.rethrow();
                 } catch (zel::MemoryException&) {
                     throw;
                 } catch (zel::Exception& copy) {
                     thrown.emplace(copy);
                 }
             });
             p.After((thrown ? Messages(*thrown) : "none") + " from " + Messages(e));
         }},
        {"InvalidIndexException", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             std::optional<zel::InvalidIndexException> e;
             p.Run([&] { e.emplace(5, 3); });
             p.After(e ? Messages(*e) : "none");
         }},
        {"BadParameterException", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             std::optional<zel::BadParameterException> e;
             p.Run([&] { e.emplace("mode", "fast"); });
             p.After(e ? Messages(*e) : "none");
         }},
        {"MemoryException", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             std::optional<zel::MemoryException> e;
             p.Run([&] { e.emplace(); });
             p.After(e ? Messages(*e) : "none");
         }},
        {"Exception::getCharErrorMessageBlock", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             zel::Exception e("the first message, longer than a short string");
             e.appendMessage("the second message, longer than a short string");
             std::string block;
             p.Run([&] { block = e.getCharErrorMessageBlock("; "); });
             p.After(Messages(e));
             p.Result(block);
         },
         nullptr, "Failed to convert exception messages"},
        {"TimeoutException", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             std::optional<zel::TimeoutException> e;
             p.Run([&] { e.emplace(); });
             p.After(e ? Messages(*e) : "none");
         }},
        {"NotImplementedException", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             std::optional<zel::NotImplementedException> e;
             p.Run([&] { e.emplace("an interface with a long name"); });
             p.After(e ? Messages(*e) : "none");
         }},
        {"OutOfRangeException", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             std::optional<zel::OutOfRangeException> e;
             p.Run([&] { e.emplace("a range with a long name", 12, 0, 10); });
             p.After(e ? Messages(*e) : "none");
         }},
        {"Exception::trace", Failure::Never, false,
         [](Probe& p) {
             p.Run([] { zel::Exception::trace("a traced line of %d characters or so", 40); });
         }},
        {"Exception::GetErrorLogLocation", Failure::MemoryOrBadAlloc, false,
         [](Probe& p) {
             std::string state;
             p.Run([&] { state = zel::Exception::GetErrorLogLocation(); });
             p.After(state);
         }},

        // Kernel objects every account may open
        {"ObtainAccessableMutex", Failure::Memory, true,
         [](Probe& p) {
             const std::string name = ObjectName("mutex");
             void* handle = nullptr;
             int created = -1;
             p.Before("name free");
             p.Run([&] { handle = zel::util::ObtainAccessableMutex(0, name.c_str(), &created); });
             if (handle != nullptr)
                 zel::util::CloseAccessableHandle(handle);
             // Once closed, nothing of it is left: the name is made anew.
             int again = -1;
             void* next = zel::util::ObtainAccessableMutex(0, name.c_str(), &again);
             if (next != nullptr)
                 zel::util::CloseAccessableHandle(next);
             p.After(again == 1 ? "name free" : "name left behind");
             p.Result(handle != nullptr ? "created " + std::to_string(created) : "null");
         },
         nullptr, "null"},
        {"ObtainAccessableFileMapping", Failure::MemoryOrAnnotated, false,
         [](Probe& p) {
             zeltest::TempDir dir;
             const std::string name = ObjectName("map");
             const std::string file = dir.join("map.bin");
             void* handle = nullptr;
             p.Run([&] {
                 handle = zel::util::ObtainAccessableFileMapping(
                     file.c_str(), zel::util::AccessablePageReadWrite,
                     zel::util::AccessableMapRead | zel::util::AccessableMapWrite, 0, 4096,
                     name.c_str(), nullptr);
             });
             p.After(handle != nullptr ? "mapped" : "null");
             if (handle != nullptr)
                 zel::util::CloseAccessableHandle(handle);
         },
         "Severe Error ObtainAccessableFileMappingEx"},

        // Strings, arrays and bits
        {"BaseString assignment", Failure::Memory, true,
         [](Probe& p) {
             BaseString<char> s("old");
             p.Before(Text(s));
             p.Run([&] { s = "a longer text than the old one"; });
             p.After(Text(s));
         }},
        {"BaseString append", Failure::Memory, true,
         [](Probe& p) {
             BaseString<char> s("old");
             p.Before(Text(s));
             p.Run([&] { s += " and a longer tail"; });
             p.After(Text(s));
         }},
        {"Array<BaseString> Add", Failure::Memory, false,
         [](Probe& p) {
             Array<BaseString<char>> list;
             list.Add("one");
             p.Before(Texts(list));
             p.Run([&] {
                 for (const char* t : {"two", "three", "four", "five", "six"})
                     list.Add(t);
             });
             p.After(Texts(list));
         }},
        {"Array<BaseString> copy", Failure::Memory, false,
         [](Probe& p) {
             Array<BaseString<char>> list;
             for (const char* t : {"one", "two", "three"})
                 list.Add(t);
             std::optional<Array<BaseString<char>>> copy;
             p.Run([&] { copy.emplace(list); });
             p.After((copy ? Texts(*copy) : "none") + " from " + Texts(list));
         }},
        {"Array<BaseString> assignment", Failure::Memory, false,
         [](Probe& p) {
             Array<BaseString<char>> from, to;
             for (const char* t : {"one", "two", "three"})
                 from.Add(t);
             to.Add("old");
             p.Run([&] { to = from; });
             p.After(Texts(to));
         }},
        {"BitString(int)", Failure::Memory, false,
         [](Probe& p) {
             std::optional<zel::BitString> b;
             p.Run([&] { b.emplace(20); });
             p.After(b ? Bits(*b) : "none");
         }},
        {"BitString copy", Failure::Memory, false,
         [](Probe& p) {
             zel::BitString b(12);
             b.SetFromInt(0xABC, 12);
             std::optional<zel::BitString> copy;
             p.Run([&] { copy.emplace(b); });
             p.After((copy ? Bits(*copy) : "none") + " from " + Bits(b));
         }},
        {"BitString::operator=", Failure::Memory, true,
         [](Probe& p) {
             zel::BitString from(4000), to(4);
             from.SetBit(1, true);
             from.SetBit(3999, true);
             to.SetFromInt(5, 4);
             p.Before(Bits(to));
             p.Run([&] { to = from; });
             p.After(Bits(to));
         }},
        {"BitString::Init", Failure::Memory, true,
         [](Probe& p) {
             zel::BitString b(4);
             b.SetFromInt(5, 4);
             p.Before(Bits(b));
             p.Run([&] { b.Init(100); });
             p.After(Bits(b));
         }},
        {"BitString::SetFromInt", Failure::Memory, true,
         [](Probe& p) {
             zel::BitString b;
             p.Before(Bits(b));
             p.Run([&] { b.SetFromInt(0xBEEF, 16); });
             p.After(Bits(b));
         }},
        {"BitString::AsString", Failure::Memory, true,
         [](Probe& p) {
             zel::BitString b(12);
             b.SetFromInt(0xABC, 12);
             BaseString<char> text("old");
             p.Before(Text(text));
             p.Run([&] { b.AsString(text); });
             p.After(Text(text));
         }},
        {"BitString::Assign", Failure::Memory, true,
         [](Probe& p) {
             zel::BitString b(4);
             const unsigned char bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
             p.Before(Bits(b));
             p.Run([&] { b.Assign(bytes, 9, 3); });
             p.After(Bits(b));
         }},

        // Text utilities
        {"splitString", Failure::Memory, false,
         [](Probe& p) {
             Array<BaseString<char>> list;
             list.Add("kept");
             p.Run([&] { zel::util::splitString("a::bb::::a longer piece::c", "::", list); });
             p.After(Texts(list));
         }},
        {"singleStringToMultipleStrings", Failure::Memory, false,
         [](Probe& p) {
             Array<BaseString<char>> list;
             p.Run([&] {
                 zel::util::singleStringToMultipleStrings(
                     " a , \"say \"\"hi\"\"\" ,, a longer field,x", ",", list, true);
             });
             p.After(Texts(list));
         }},
        {"UniqueIDToString", Failure::Memory, true,
         [](Probe& p) {
             _GUID id{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
             BaseString<char> text("old");
             p.Before(Text(text));
             p.Run([&] { zel::util::UniqueIDToString(id, text); });
             p.After(Text(text));
         }},

        // The cipher
        {"BlowFish::Encrypt", Failure::Memory, true,
         [](Probe& p) {
             Array<unsigned char> out;
             out.Add(7);
             p.Before(Bytes(out));
             p.Run([&] { zel::BlowFish::Encrypt("key", kLongText, out); });
             p.After(Bytes(out));
         }},
        {"BlowFish::Decrypt", Failure::Memory, true,
         [](Probe& p) {
             Array<unsigned char> sealed;
             zel::BlowFish::Encrypt("key", kLongText, sealed);
             BaseString<char> text("old");
             p.Before(Text(text) + " " + Bytes(sealed));
             bool ok = false;
             p.Run([&] { ok = zel::BlowFish::Decrypt("key", sealed, text); });
             p.After(Text(text) + " " + Bytes(sealed));
             p.Result(ok ? "true" : "false");
         }},
    };
}

// A small tree: two files and a folder with one file.
class SweepTree {
public:
    SweepTree() {
        zeltest::writeFile(m_dir.join("b.txt"), "b");
        zeltest::writeFile(m_dir.join("A.txt"), "a");
        std::string sub = m_dir.join("sub");
        std::filesystem::create_directory(sub);
        zeltest::writeFile(sub + zeltest::nativeSeparator() + "c.txt", "c");
    }
    const std::string& path() const { return m_dir.path(); }
    std::string withSep() const { return m_dir.path() + zeltest::nativeSeparator(); }

private:
    zeltest::TempDir m_dir;
};

std::vector<Row> DirectoryRows(const SweepTree& tree) {
    using zel::Array;
    using zel::BaseString;
    const std::string dir = tree.path();
    const std::string top = tree.withSep();
    return {
        {"DirectoryIterator one level", Failure::Memory, false,
         [dir](Probe& p) {
             std::optional<zel::DirectoryIterator> it;
             p.Run([&] { it.emplace(dir.c_str(), false, nullptr, true); });
             p.After(it ? Listing(*it) : "none");
         }},
        {"DirectoryIterator recursive", Failure::Memory, false,
         [top](Probe& p) {
             std::optional<zel::DirectoryIterator> it;
             p.Run([&] { it.emplace(top.c_str(), true, top.c_str(), true); });
             p.After(it ? Listing(*it) : "none");
         }},
        {"DirectoryIterator copy", Failure::Memory, false,
         [dir](Probe& p) {
             zel::DirectoryIterator it(dir.c_str(), false, nullptr, true);
             std::optional<zel::DirectoryIterator> copy;
             p.Run([&] { copy.emplace(it); });
             p.After((copy ? Listing(*copy) : "none") + " from " + Listing(it));
         }},
        {"DirectoryIterator::GetNextItem", Failure::Memory, false,
         [dir](Probe& p) {
             zel::DirectoryIterator it(dir.c_str(), false, nullptr, true);
             zel::DirectoryItem item;
             bool got = false;
             p.Run([&] { got = it.GetNextItem(item); });
             p.After(std::string(item.Name() != nullptr ? item.Name() : "<null>"));
             p.Result(got ? "true" : "false");
         }},
        {"GetWildCardFiles", Failure::Annotated, false,
         [top](Probe& p) {
             Array<BaseString<char>> files;
             files.Add("old");
             const BaseString<char> spec((top + "*.txt").c_str());
             bool found = false;
             p.Run([&] { found = zel::DirectoryIterator::GetWildCardFiles(spec, files, true); });
             p.After(Texts(files));
             p.Result(found ? "true" : "false");
         },
         "DirectoryIterator::GetWildCardFiles: Exception caught"},
        {"GetWildCardFilesFlat", Failure::Annotated, false,
         [top](Probe& p) {
             Array<BaseString<char>> files;
             const BaseString<char> spec(top.c_str());
             bool found = false;
             p.Run(
                 [&] { found = zel::DirectoryIterator::GetWildCardFilesFlat(spec, files, true); });
             p.After(Texts(files));
             p.Result(found ? "true" : "false");
         },
         "DirectoryIterator::GetWildCardFiles: Exception caught"},
    };
}

} // namespace

TEST(AllocationSweep, EveryFailedAllocationThrowsOrIsInvisible) {
    RunTable(CoreRows(), true);
}

TEST(AllocationSweep, DirectoryOperations) {
    SweepTree tree;
    const int faulty = RunTable(DirectoryRows(tree), kDirectoryRowsMustPass);
    if (faulty > 0)
        GTEST_SKIP() << faulty << " directory rows fail: the directory search does not yet "
                     << "throw MemoryException for every failed allocation (listed above as "
                     << "[ pending ]; kDirectoryRowsMustPass makes them failures)";
}
