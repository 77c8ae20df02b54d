// Helpers shared by the test programs: temporary folders, small file I/O and
// child processes that run a named function of the same test program.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zeltest {

// A fresh, uniquely named folder under the system's temporary folder,
// removed with everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + native separator + name
    std::string join(const std::string& name) const;

private:
    std::string m_path;
};

std::string nativeSeparator();
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& data);
bool fileExists(const std::string& path);
long long fileSize(const std::string& path); // -1 when missing
std::vector<std::string> readLines(const std::string& path);

// Child processes. A test program registers functions with ZEL_TEST_CHILD and
// starts them in a new process of itself; the function's result is the exit code.
using ChildFunction = int (*)(const std::vector<std::string>& args);
bool registerChild(const char* name, ChildFunction fn);
int runChildMain(int argc, char** argv, bool& handled);

class ChildProcess {
public:
    ChildProcess(const std::string& name, const std::vector<std::string>& args = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool started() const { return m_started; }
    int wait(); // exit code, or -1 when the process could not be started

private:
    bool m_started = false;
    bool m_waited = false;
    int m_exit = -1;
    long long m_pid = 0;
    void* m_handle = nullptr;
};

// One page of memory followed by a page that may not be touched: a read past the
// end of the usable page faults. Texts placed with `place` end right before the
// guard page, so the tests see any read past a terminator that leaves its page.
class GuardedPage {
public:
    GuardedPage();
    ~GuardedPage();
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;

    std::size_t size() const { return m_pageSize; }
    // The usable page.
    char* data() { return static_cast<char*>(m_base); }
    // Copies `text` and a terminator so that the terminator is the page's last
    // byte; returns where the text starts. The text must be shorter than the page.
    char* place(const std::string& text);

private:
    void* m_base = nullptr;
    std::size_t m_pageSize = 0;
};

// Convenience: start a child and wait for its exit code.
int runChild(const std::string& name, const std::vector<std::string>& args = {});

} // namespace zeltest

#define ZEL_TEST_CHILD(name)                                                                       \
    static int name##_child(const std::vector<std::string>& args);                                 \
    static const bool name##_registered = ::zeltest::registerChild(#name, &name##_child);          \
    static int name##_child(const std::vector<std::string>& args)
