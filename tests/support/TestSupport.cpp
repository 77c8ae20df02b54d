#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace zeltest {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    auto base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "zeltest-" << std::hex << rd() << '-' << counter++;
        fs::path p = base / name.str();
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            m_path = p.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make read-only entries removable first (Windows refuses to delete them).
    for (auto it = fs::recursive_directory_iterator(m_path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(m_path, ec);
}

std::string TempDir::join(const std::string& name) const {
    return m_path + nativeSeparator() + name;
}

std::string nativeSeparator() {
#ifdef _WIN32
    return "\\";
#else
    return "/";
#endif
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

long long fileSize(const std::string& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(size);
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = readFile(path), line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

static std::map<std::string, ChildFunction>& children() {
    static std::map<std::string, ChildFunction> table;
    return table;
}

bool registerChild(const char* name, ChildFunction fn) {
    children()[name] = fn;
    return true;
}

static const char kChildFlag[] = "--zel-child";

int runChildMain(int argc, char** argv, bool& handled) {
    handled = false;
    if (argc < 3 || std::string(argv[1]) != kChildFlag)
        return 0;
    handled = true;
    auto it = children().find(argv[2]);
    if (it == children().end())
        return 125;
    std::vector<std::string> args(argv + 3, argv + argc);
    return it->second(args);
}

#ifdef _WIN32
static std::string quoteArg(const std::string& arg) {
    std::string out = "\"";
    unsigned backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            out.append(backslashes * 2 + 1, '\\');
        else
            out.append(backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}
#endif

ChildProcess::ChildProcess(const std::string& name, const std::vector<std::string>& args) {
#ifdef _WIN32
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    std::string cmd = quoteArg(self) + " " + kChildFlag + " " + quoteArg(name);
    for (auto& a : args)
        cmd += " " + quoteArg(a);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    if (!CreateProcessA(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return;
    CloseHandle(pi.hThread);
    m_handle = pi.hProcess;
    m_started = true;
#else
    std::vector<std::string> all{"self", kChildFlag, name};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return;
    if (pid == 0) {
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    m_pid = pid;
    m_started = true;
#endif
}

int ChildProcess::wait() {
    if (!m_started || m_waited)
        return m_exit;
    m_waited = true;
#ifdef _WIN32
    WaitForSingleObject(m_handle, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(m_handle, &code);
    CloseHandle(m_handle);
    m_exit = static_cast<int>(code);
#else
    int status = 0;
    if (waitpid(static_cast<pid_t>(m_pid), &status, 0) < 0)
        return m_exit = -1;
    m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
    return m_exit;
}

ChildProcess::~ChildProcess() {
    wait();
}

GuardedPage::GuardedPage() {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    m_pageSize = info.dwPageSize;
    m_base = VirtualAlloc(nullptr, 2 * m_pageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD old = 0;
    if (m_base == nullptr ||
        !VirtualProtect(static_cast<char*>(m_base) + m_pageSize, m_pageSize, PAGE_NOACCESS, &old))
        throw std::runtime_error("cannot set up a guard page");
#else
    m_pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* p =
        mmap(nullptr, 2 * m_pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::runtime_error("cannot map memory");
    m_base = p;
    if (mprotect(static_cast<char*>(m_base) + m_pageSize, m_pageSize, PROT_NONE) != 0)
        throw std::runtime_error("cannot set up a guard page");
#endif
}

GuardedPage::~GuardedPage() {
#ifdef _WIN32
    VirtualFree(m_base, 0, MEM_RELEASE);
#else
    munmap(m_base, 2 * m_pageSize);
#endif
}

char* GuardedPage::place(const std::string& text) {
    if (text.size() >= m_pageSize)
        throw std::runtime_error("text longer than a page");
    char* start = data() + m_pageSize - 1 - text.size();
    std::memcpy(start, text.c_str(), text.size() + 1);
    return start;
}

int runChild(const std::string& name, const std::vector<std::string>& args) {
    ChildProcess child(name, args);
    return child.wait();
}

} // namespace zeltest
