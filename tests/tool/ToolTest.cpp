// End-to-end tests of the zel tool: each case runs the built program (zel.exe
// under Wine in the Windows build) and checks its exit status, standard output
// and standard error.
#include "TestSupport.h"

#include "zel/Array.h"
#include "zel/BlowFish.h"
#include "zel/Exception.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#endif

// ZEL_TOOL_PATH names the program under test; builds without the tool (the
// ThreadSanitizer preset) have nothing to run.
#ifndef ZEL_TOOL_PATH
TEST(ToolTest, NotBuilt) {
    GTEST_SKIP() << "the zel tool is not part of this build";
}
#else

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string toolPath() {
    std::string p = ZEL_TOOL_PATH;
#ifdef _WIN32
    // The build tree is a Linux path; under Wine drive Z: is the Linux root.
    if (!p.empty() && p[0] == '/') {
        p = "Z:" + p;
        std::replace(p.begin(), p.end(), '/', '\\');
    }
#endif
    return p;
}

std::string quote(const std::string& arg) {
#ifdef _WIN32
    // The runtime's argument rules: backslashes are literal unless they precede a
    // quote; a quote inside is written as backslash, quote.
    std::string q = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        q.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        q += c;
    }
    q.append(2 * backslashes, '\\');
    return q + "\"";
#else
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
#endif
}

void setEnv(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

#ifdef _WIN32
// Runs the command line with standard input from `in` and output and error into
// `out` and `err`; its exit code, or -1 when it could not start.
int runRedirected(std::string line, const std::string& in, const std::string& out,
                  const std::string& err) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE files[3] = {
        CreateFileA(in.c_str(), GENERIC_READ, share, &sa, OPEN_EXISTING, 0, nullptr),
        CreateFileA(out.c_str(), GENERIC_WRITE, share, &sa, CREATE_ALWAYS, 0, nullptr),
        CreateFileA(err.c_str(), GENERIC_WRITE, share, &sa, CREATE_ALWAYS, 0, nullptr)};
    int status = -1;
    if (std::none_of(std::begin(files), std::end(files),
                     [](HANDLE h) { return h == INVALID_HANDLE_VALUE; })) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = files[0];
        si.hStdOutput = files[1];
        si.hStdError = files[2];
        PROCESS_INFORMATION pi{};
        if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                           &pi)) {
            WaitForSingleObject(pi.hProcess, INFINITE);
            DWORD code = 0;
            GetExitCodeProcess(pi.hProcess, &code);
            status = static_cast<int>(code);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    for (HANDLE h : files)
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    return status;
}
#endif

// Runs zel with `args` (each passed as one argument) and standard input from
// `input` (a file path; empty for an empty input), in a folder of its own.
class Tool {
public:
    Outcome run(const std::vector<std::string>& args, const std::string& input = "") {
        const std::string out = m_dir.join("stdout.txt");
        const std::string err = m_dir.join("stderr.txt");
        std::string in = input;
        if (in.empty()) {
            in = m_dir.join("empty-input.txt");
            zeltest::writeFile(in, "");
        }
        std::string cmd = quote(toolPath());
        for (const std::string& a : args)
            cmd += " " + quote(a);
        Outcome r;
#ifdef _WIN32
        // Started directly, not through cmd.exe: one Windows process per run.
        r.status = runRedirected(cmd, in, out, err);
#else
        cmd += " < " + quote(in) + " > " + quote(out) + " 2> " + quote(err);
        const int raw = std::system(cmd.c_str());
        r.status = (raw & 0x7f) == 0 ? (raw >> 8) & 0xff : -1;
#endif
        r.out = zeltest::readFile(out);
        r.err = zeltest::readFile(err);
        // Text mode on Windows writes CR LF: compare with LF only.
        for (std::string* s : {&r.out, &r.err})
            s->erase(std::remove(s->begin(), s->end(), '\r'), s->end());
        return r;
    }
    // Runs with the error log inside the test's folder.
    Outcome zel(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {"--log", log()});
        return run(args, input);
    }
    std::string log() const {
        return m_dir.join("ZELError.txt");
    }
    const zeltest::TempDir& dir() const {
        return m_dir;
    }

private:
    zeltest::TempDir m_dir;
};

// A path as error messages quote it (as ls does): in single quotes; a path
// with a quote or anything the shell reads is left to the quoting tests.
std::string shownPath(const std::string& path) {
    return "'" + path + "'";
}

int countLines(const std::string& s) {
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

// Standard error without what a coverage build's runtime adds at exit (a run
// under a file-size limit cannot write its counts, and says so).
std::string withoutCoverageNotes(const std::string& err) {
    std::string kept;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("libgcov profiling error:", 0) != 0)
            kept += line + "\n";
    return kept;
}

// A failure is one line on standard error starting with "zel: ", nothing else.
void expectOneErrorLine(const Outcome& r, int status, const std::string& part) {
    const std::string err = withoutCoverageNotes(r.err);
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(err.rfind("zel: ", 0), 0u) << r.err;
    EXPECT_EQ(countLines(err), 1) << r.err;
    EXPECT_NE(err.find(part), std::string::npos) << r.err;
}

// The program under test started in the background, standard output and error
// going to `out`, so that a test can watch it and stop it.
class Background {
public:
    Background(const std::vector<std::string>& args, const std::string& out) {
#ifdef _WIN32
        std::string line = quote(toolPath());
        for (const std::string& a : args)
            line += " " + quote(a);
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = file;
        si.hStdError = file;
        PROCESS_INFORMATION pi{};
        if (file != INVALID_HANDLE_VALUE && CreateProcessA(nullptr, &line[0], nullptr, nullptr,
                                                           TRUE, 0, nullptr, nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            m_process = pi.hProcess;
        }
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
#else
        std::vector<std::string> all = {ZEL_TOOL_PATH};
        all.insert(all.end(), args.begin(), args.end());
        m_pid = fork();
        if (m_pid == 0) {
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int none = open("/dev/null", O_RDONLY);
            dup2(none, 0);
            dup2(fd, 1);
            dup2(fd, 2);
            std::vector<char*> argv;
            for (std::string& a : all)
                argv.push_back(&a[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
#endif
    }
    ~Background() {
        if (started())
            stop(0);
    }
    bool started() const {
#ifdef _WIN32
        return m_process != nullptr;
#else
        return m_pid > 0;
#endif
    }
    // Ends the process (with `signal` on POSIX systems) and returns its wait
    // status (POSIX) or exit code (Windows).
    int stop(int signal) {
        int status = -1;
#ifdef _WIN32
        (void)signal;
        TerminateProcess(m_process, 1);
        WaitForSingleObject(m_process, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(m_process, &code);
        CloseHandle(m_process);
        m_process = nullptr;
        status = static_cast<int>(code);
#else
        kill(m_pid, signal != 0 ? signal : SIGKILL);
        waitpid(m_pid, &status, 0);
        m_pid = -1;
#endif
        return status;
    }

private:
#ifdef _WIN32
    HANDLE m_process = nullptr;
#else
    pid_t m_pid = -1;
#endif
};

// Waits up to 30 seconds for `done` to hold.
template <typename Condition> bool waitFor(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string libraryEncrypt(const std::string& key, const std::string& data) {
    zel::Array<unsigned char> in, out;
    in.SetSize(static_cast<unsigned int>(data.size()));
    std::copy(data.begin(), data.end(), in.Data());
    zel::BlowFish::Encrypt(key.c_str(), in, static_cast<int>(data.size()), out);
    return std::string(reinterpret_cast<const char*>(out.Data()), out.Size());
}

std::string pseudoRandom(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen());
    return s;
}

} // namespace

class ToolTest : public ::testing::Test {
protected:
    Tool tool;
};

TEST_F(ToolTest, VersionAndHelpForEveryCommand) {
    // The version of the tool, and the file and version of the library it loaded.
    Outcome v = tool.run({"--version"});
    EXPECT_EQ(v.status, 0);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(v.out, m, std::regex("zel 1\\.1\\.0 \\((lib)?ZELBase [^,]+, (.+)\\)\n")))
        << v.out;
    EXPECT_NE(m[2].str().find("ZELBase"), std::string::npos) << v.out;
#ifndef _WIN32
    EXPECT_NE(m[0].str().find("ZELBase 1.1.0"), std::string::npos) << v.out;
    EXPECT_TRUE(fs::exists(fs::path(m[2].str()))) << v.out;
#endif

    Outcome h = tool.run({"--help"});
    EXPECT_EQ(h.status, 0);
    // One table of exit codes for the whole tool.
    for (const char* row : {"  0  success", "  1  \"no\"", "  2  usage error", "  3  zel mutex"})
        EXPECT_NE(h.out.find(row), std::string::npos) << row;
    const char* commands[] = {"ls",    "encrypt", "decrypt", "log",   "guid",    "hash",
                              "prime", "split",   "num",     "mutex", "isadmin", "demo"};
    for (const char* c : commands) {
        SCOPED_TRACE(c);
        EXPECT_NE(h.out.find(std::string("  ") + c + " "), std::string::npos);
        Outcome sub = tool.run({c, "--help"});
        EXPECT_EQ(sub.status, 0);
        EXPECT_NE(sub.out.find(std::string("Usage: zel ") + c), std::string::npos) << sub.out;
        EXPECT_EQ(sub.err, "");
        // The parser's doubled value names ("N:N") say nothing to a reader.
        EXPECT_FALSE(std::regex_search(sub.out, std::regex("\\b([A-Z]+):\\1\\b"))) << sub.out;
    }
}

TEST_F(ToolTest, UsageErrorsExitTwoWithOneLine) {
    struct Case {
        std::vector<std::string> args;
        const char* part;
    } cases[] = {
        {{}, "zel: no command given"},
        {{"frobnicate"}, "zel: unknown command 'frobnicate'"},
        {{"--log", "x.txt", "frob"}, "zel: unknown command 'frob'"},
        {{"prime"}, "prime: N is required"},
        {{"prime", "12x"}, "prime: N must be a whole number"},
        {{"prime", "4294967296"}, "N must be a whole number"},
        {{"guid", "-n", "0"}, "guid: "},
        {{"log", "--tail", "-3"}, "log: --tail must be a whole number from 0 to 4294967295: -3"},
        {{"log", "--tail", "1e400"}, "log: --tail must be a whole number"},
        {{"mutex", "m", "--hold", "-1"}, "must be a number of seconds from 0 to 86400: -1"},
        {{"encrypt", "--key-file", "k", "--key-env", "K"}, "encrypt: "},
        {{"split", "-s", ":", "-t", "a:b"}, "split: "},
        {{"ls", "--bogus", "x"}, "ls: "},
        // No key source and standard input is no terminal to prompt on.
        {{"encrypt"}, "encrypt: no key"},
        // Near misses get a guess; a missing value is named plainly.
        {{"lss", "x"}, "unknown command 'lss' (did you mean 'ls'?)"},
        {{"ls", "--recursiv", "x"},
         "ls: unknown option '--recursiv' (did you mean '--recursive'?)"},
        {{"mutex", "m", "--tyr"}, "unknown option '--tyr' (did you mean '--try'?)"},
        {{"ls", "-q", "x"}, "ls: unknown option '-q'"},
        {{"guid", "-n"}, "guid: --count needs a value (N)"},
        {{"mutex", "m", "--hold"}, "mutex: --hold needs a value (SECONDS)"},
        {{"--log"}, "zel: --log needs a value (PATH)"},
        {{"mutex", "m", "--try", "--timeout", "1"}, "mutex: "},
        // An empty name would make an unnamed mutex, always free.
        {{"mutex", "", "--try"}, "mutex: NAME must not be empty"},
        // One mistake, one message, with or without other patterns.
        {{"ls", "-dash.txt"}, "ls: unknown option '-dash.txt'"},
        {{"ls", "-dash.txt", "."}, "ls: unknown option '-dash.txt'"},
        {{"ls"}, "ls: PATTERN is required"},
    };
    for (const Case& c : cases) {
        std::string name;
        for (const std::string& a : c.args)
            name += a + " ";
        SCOPED_TRACE(name);
        Outcome r = tool.run(c.args);
        expectOneErrorLine(r, 2, c.part);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(std::regex_search(r.err, std::regex("\\b([A-Z]+):\\1\\b"))) << r.err;
    }
}

TEST_F(ToolTest, TextAndNumberCommands) {
    // A question answered "no" exits 1, as test does.
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int status = 0;
    } cases[] = {
        {{"hash", "abc", "ABC"}, "96354\tabc\n64578\tABC\n"},
        {{"hash", "--nocase", "ABC"}, "96354\tABC\n"},
        {{"hash", ""}, "0\t\n"},
        {{"prime", "97"}, "97 is prime\n"},
        {{"prime", "1"}, "1 is prime\n"},
        {{"prime", "4294967295"}, "4294967295 is not prime\n", 1},
        {{"prime", "1000"}, "1000 is not prime\n", 1},
        {{"prime", "--next", "1000"}, "1009\n"},
        {{"prime", "--next", "4294967291"}, "1\n"},
        {{"split", "\"a,b\",c"}, "[a,b]\n[c]\n"},
        {{"split", "a,,b,"}, "[a]\n[]\n[b]\n"},
        {{"split", "\"say \"\"hi\"\"\",x"}, "[say \"hi\"]\n[x]\n"},
        {{"split", "--trim", " a , b "}, "[a]\n[b]\n"},
        {{"split", "-d", ",;", "a;b,c"}, "[a]\n[b]\n[c]\n"},
        {{"split", "--separator", "::", "a::b::::c"}, "[a]\n[b]\n[]\n[c]\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        Outcome r = tool.zel(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(ToolTest, NumShowsEveryParserAndItsEnd) {
    Outcome r = tool.zel({"num", "  -42  x"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("stringToInteger     -42  (end 7, rest \"x\")"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("stringToInt64       -42  (end 7"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("canCoerceToInteger  no"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("isnumeric           yes"), std::string::npos) << r.out;

    Outcome d = tool.zel({"num", "1.5e3"});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_NE(d.out.find("stringToDouble      1500 = 1500.000000  (end 5, rest \"\")"),
              std::string::npos)
        << d.out;

    Outcome h = tool.zel({"num", "0aFf"});
    EXPECT_NE(h.out.find("atoh                2 bytes 0A FF"), std::string::npos) << h.out;
}

TEST_F(ToolTest, GuidsAreDistinctAndWellFormed) {
    Outcome r = tool.zel({"guid", "-n", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::set<std::string> seen;
    const std::regex form("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(std::regex_match(line, form)) << line;
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), 5u);
}

TEST_F(ToolTest, LogShowsWritesAndTails) {
    Outcome where = tool.zel({"log"});
    EXPECT_EQ(where.status, 0);
    EXPECT_EQ(where.out, tool.log() + "\n");

    // Asking creates nothing; reading a log that is not there is an error.
    EXPECT_FALSE(zeltest::fileExists(tool.log()));
    expectOneErrorLine(tool.zel({"log", "--tail", "5"}), 1,
                       "zel: log: cannot open " + shownPath(tool.log()) +
                           " for reading: No such file or directory");
    expectOneErrorLine(tool.zel({"log", "--json"}), 1, "No such file or directory");
    for (const char* text : {"first", "second", "third"})
        EXPECT_EQ(tool.zel({"log", "--trace", text}).status, 0);
    Outcome tail = tool.zel({"log", "--tail", "2"});
    EXPECT_EQ(tail.status, 0);
    const std::regex line("\\[... ... \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\\] Mirror TRACE: (\\w+)");
    std::istringstream in(tail.out);
    std::vector<std::string> texts;
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        texts.push_back(m[1]);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"second", "third"}));
    EXPECT_EQ(countLines(tool.zel({"log", "--tail", "0"}).out), 0);
}

class ToolCryptTest : public ToolTest {
protected:
    void SetUp() override {
        plain = tool.dir().join("plain.bin");
        keyFile = tool.dir().join("key.txt");
        cipher = tool.dir().join("cipher.bin");
        back = tool.dir().join("back.bin");
        data = std::string("line one\r\nline two\n\0\x01\xff binary tail", 34);
        zeltest::writeFile(plain, data);
        zeltest::writeFile(keyFile, "correct horse\n");
    }
    // Files of the folder that are not the test's own.
    std::vector<std::string> strayFiles(std::set<std::string> expected) {
        expected.insert({"stdout.txt", "stderr.txt", "empty-input.txt", "plain.bin", "key.txt"});
        std::vector<std::string> stray;
        for (const auto& e : fs::directory_iterator(tool.dir().path()))
            if (!expected.count(e.path().filename().string()))
                stray.push_back(e.path().filename().string());
        return stray;
    }
    std::string plain, keyFile, cipher, back, data;
};

TEST_F(ToolCryptTest, RoundTripThroughFilesKeyFileAndEnvironment) {
    Outcome e = tool.zel({"encrypt", plain, "-o", cipher, "--key-file", keyFile});
    ASSERT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(e.out, "");
    EXPECT_EQ(zeltest::fileSize(cipher), 48); // 8-byte header + 34 bytes padded to 40

    setEnv("ZEL_TOOL_TEST_KEY", "correct horse"); // the key file's line end is not key
    Outcome d = tool.zel({"decrypt", cipher, "-o", back, "--key-env", "ZEL_TOOL_TEST_KEY"});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(zeltest::readFile(back), data);

    // Standard input to standard output gives the same (deterministic) cipher text.
    Outcome s = tool.zel({"encrypt", "--key-env", "ZEL_TOOL_TEST_KEY"}, plain);
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(s.out.size(), 48u);
    Outcome s2 = tool.zel({"decrypt", "--key-file", keyFile}, cipher);
    ASSERT_EQ(s2.status, 0) << s2.err;
    EXPECT_EQ(zeltest::fileSize(back), static_cast<long long>(data.size()));

    // The key from standard input.
    Outcome k = tool.zel({"decrypt", cipher, "-o", back, "--key-file", "-"}, keyFile);
    ASSERT_EQ(k.status, 0) << k.err;
    EXPECT_EQ(zeltest::readFile(back), data);
    EXPECT_EQ(strayFiles({"cipher.bin", "back.bin"}), std::vector<std::string>{});
}

TEST_F(ToolCryptTest, WrongKeyOrDamagedDataFailsWithoutOutput) {
    ASSERT_EQ(tool.zel({"encrypt", plain, "-o", cipher, "--key-file", keyFile}).status, 0);
    const std::string wrongKey = tool.dir().join("wrong.txt");
    zeltest::writeFile(wrongKey, "battery staple");
    const std::string damaged = tool.dir().join("damaged.bin");
    std::string bytes = zeltest::readFile(cipher);
    bytes[0] = static_cast<char>(bytes[0] ^ 0x40);
    zeltest::writeFile(damaged, bytes);
    const std::string odd = tool.dir().join("odd.bin");
    zeltest::writeFile(odd, bytes.substr(0, 20));

    zeltest::writeFile(back, "previous content");
    struct Case {
        std::string input, key, part;
    } cases[] = {
        {cipher, wrongKey, "wrong key or damaged data"},
        {damaged, keyFile, "wrong key or damaged data"},
        {odd, keyFile, "not enciphered data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Outcome r = tool.zel({"decrypt", c.input, "-o", back, "--key-file", c.key});
        expectOneErrorLine(r, 1, c.part);
        EXPECT_EQ(zeltest::readFile(back), "previous content"); // untouched
        Outcome toStdout = tool.zel({"decrypt", c.input, "--key-file", c.key});
        EXPECT_EQ(toStdout.status, 1);
        EXPECT_EQ(toStdout.out, "");
    }
    EXPECT_EQ(strayFiles({"cipher.bin", "back.bin", "wrong.txt", "damaged.bin", "odd.bin"}),
              std::vector<std::string>{});
}

TEST_F(ToolCryptTest, KeySourcesThatCannotBeUsed) {
    const std::string empty = tool.dir().join("empty-key.txt");
    zeltest::writeFile(empty, "\n");
    const std::string huge = tool.dir().join("huge-key.txt");
    zeltest::writeFile(huge, std::string(65537, 'k'));
    setEnv("ZEL_TOOL_TEST_UNSET", "");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string part;
        std::string input; // standard input
    };
    std::vector<Case> cases = {
        {{"encrypt", plain, "--key-file", empty}, 2, "is empty", ""},
        {{"encrypt", plain, "--key-file", tool.dir().join("missing.txt")}, 1, "cannot open", ""},
        {{"encrypt", plain, "--key-env", "ZEL_TOOL_TEST_UNSET"}, 2, "ZEL_TOOL_TEST_UNSET", ""},
        {{"encrypt", tool.dir().join("missing.bin"), "--key-file", keyFile}, 1, "cannot open", ""},
        {{"encrypt", plain, "--key-file", huge}, 1, huge + ": more than 65536 bytes", ""},
        {{"encrypt", plain, "--key-file", "-"}, 1, "standard input: more than 65536 bytes", huge},
    };
#ifndef _WIN32
    // A device that never ends, a file whose reading fails, standard input that
    // cannot be read (a folder opened for reading): each told as what it is.
    cases.push_back({{"encrypt", plain, "--key-file", "/dev/zero"}, 1, "more than 65536", ""});
    cases.push_back({{"encrypt", plain, "--key-file", "/proc/self/mem"},
                     1,
                     "/proc/self/mem: cannot read: ",
                     ""});
    cases.push_back({{"encrypt", plain, "--key-file", "-"},
                     1,
                     "--key-file standard input: cannot read: ",
                     tool.dir().path()});
    cases.push_back(
        {{"encrypt", "--key-file", keyFile}, 1, "cannot read standard input: ", tool.dir().path()});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        expectOneErrorLine(tool.zel(c.args, c.input), c.status, c.part);
    }
}

// The tool runs large data through the library a slice at a time; the result
// must be what one library call over the whole data gives, at every size and
// across slice boundaries (a slice is 1 MiB of data).
TEST_F(ToolCryptTest, SlicedRunsMatchTheLibraryExactly) {
    const std::size_t sizes[] = {1,
                                 7,
                                 8,
                                 9,
                                 16,
                                 17,
                                 1000,
                                 (1u << 20) - 8,
                                 (1u << 21) - 8,
                                 (1u << 21) + 3,
                                 3u * (1u << 20) + 13};
    for (std::size_t n : sizes) {
        SCOPED_TRACE(n);
        const std::string text = pseudoRandom(n, static_cast<unsigned>(n));
        zeltest::writeFile(plain, text);
        ASSERT_EQ(tool.zel({"encrypt", plain, "-o", cipher, "--key-file", keyFile}).status, 0);
        const std::string sealed = zeltest::readFile(cipher);
        EXPECT_TRUE(sealed == libraryEncrypt("correct horse", text));
        Outcome d = tool.zel({"decrypt", cipher, "-o", back, "--key-file", keyFile});
        ASSERT_EQ(d.status, 0) << d.err;
        EXPECT_TRUE(zeltest::readFile(back) == text);
    }
    EXPECT_EQ(strayFiles({"cipher.bin", "back.bin"}), std::vector<std::string>{});
}

// Nothing to encipher, or too little to be cipher text: exit 1, a line that
// says why, and no output file.
TEST_F(ToolCryptTest, EmptyAndShortInputsFail) {
    const std::string empty = tool.dir().join("empty.bin");
    zeltest::writeFile(empty, "");
    const std::string eight = tool.dir().join("eight.bin");
    zeltest::writeFile(eight, std::string(8, 'x'));
    const std::string twenty = tool.dir().join("twenty.bin");
    zeltest::writeFile(twenty, std::string(20, 'x'));
    struct Case {
        std::vector<std::string> args;
        std::string input; // standard input
        const char* part;
    } cases[] = {
        {{"encrypt", empty, "-o", back}, "", "cannot carry an empty text"},
        {{"encrypt", "-o", back}, empty, "standard input: empty"},
        {{"decrypt", empty, "-o", back}, "", "0 bytes, too short for cipher text"},
        {{"decrypt", "-o", back}, empty, "0 bytes, too short"},
        {{"decrypt", eight, "-o", back}, "", "8 bytes, too short for cipher text"},
        {{"decrypt", twenty, "-o", back}, "", "20 bytes; cipher text is a whole number of 8-byte"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.part);
        c.args.insert(c.args.end(), {"--key-file", keyFile});
        expectOneErrorLine(tool.zel(c.args, c.input), 1, c.part);
        EXPECT_FALSE(zeltest::fileExists(back));
    }
    EXPECT_EQ(strayFiles({"empty.bin", "eight.bin", "twenty.bin"}), std::vector<std::string>{});
}

// Standard output that cannot be written (a full disk; /dev/full is always
// full) is a failure said on standard error, not a silent loss.
TEST_F(ToolCryptTest, FullStandardOutputFails) {
#ifndef __linux__
    GTEST_SKIP() << "needs /dev/full, a device that is always full (Linux)";
#else
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += "[Tue Nov 01 09:05:07 2022] Mirror TRACE: line " + std::to_string(i) + "\n";
    zeltest::writeFile(tool.log(), lines);
    ASSERT_EQ(tool.zel({"encrypt", plain, "-o", cipher, "--key-file", keyFile}).status, 0);
    const std::string err = tool.dir().join("stderr.txt");
    // One line fails at the end, when it is flushed; 200 lines fill the buffer
    // and fail on the way.
    const std::vector<std::string> commands[] = {
        {"log", "-n", "1"},
        {"log", "-n", "200"},
        {"log", "-n", "1", "--json"},
        {"encrypt", plain, "--key-file", keyFile},
        {"decrypt", cipher, "--key-file", keyFile},
    };
    for (const std::vector<std::string>& c : commands) {
        SCOPED_TRACE(c[0] + " " + c[1] + " " + c[2]);
        std::string line = quote(toolPath()) + " --log " + quote(tool.log());
        for (const std::string& a : c)
            line += " " + quote(a);
        line += " < /dev/null > /dev/full 2> " + quote(err);
        const int raw = std::system(line.c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
        const std::string said = zeltest::readFile(err);
        EXPECT_NE(said.find("cannot write to standard output"), std::string::npos) << said;
        EXPECT_EQ(countLines(said), 1) << said;
    }
#endif
}

// An output that cannot be made or written: exit 1, the target as it was, and
// no temporary file left beside it.
TEST_F(ToolCryptTest, OutputThatCannotBeWrittenLeavesNothing) {
    zeltest::writeFile(plain, pseudoRandom(200000, 5));
    const std::string missing = tool.dir().join("missing") + zeltest::nativeSeparator() + "out.bin";
    expectOneErrorLine(tool.zel({"encrypt", plain, "-o", missing, "--key-file", keyFile}), 1,
                       "cannot create a temporary file beside it");
#ifndef _WIN32
    // A file-size limit stands for a full disk: the write fails (EFBIG).
    zeltest::writeFile(back, "previous content");
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit small = before;
    small.rlim_cur = 65536;
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome r = tool.zel({"encrypt", plain, "-o", back, "--key-file", keyFile});
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    expectOneErrorLine(r, 1, back + ": cannot write ");
    EXPECT_EQ(zeltest::readFile(back), "previous content");
#endif
    EXPECT_EQ(strayFiles({"back.bin"}), std::vector<std::string>{});
}

#ifndef _WIN32
// Another account's file in a sticky folder (as in /tmp): the run may write its
// temporary file beside it but not rename over it. Exit 1, the reason, and the
// target and the folder as they were.
TEST_F(ToolCryptTest, TargetThatCannotBeReplacedIsLeftAsItWas) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run the tool as another account";
    const std::string shared = tool.dir().join("shared");
    fs::create_directories(shared);
    fs::permissions(tool.dir().path(), fs::perms::owner_all | fs::perms::group_read |
                                           fs::perms::group_exec | fs::perms::others_read |
                                           fs::perms::others_exec);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    const std::string target = shared + "/owned-by-root.bin";
    zeltest::writeFile(target, "root's content");
    fs::permissions(target, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                               fs::perms::others_exec));
    chmod(plain.c_str(), 0644);
    chmod(keyFile.c_str(), 0644);
    EXPECT_EQ(zeltest::runChild("crypt_unprivileged", {plain, keyFile, target}), 0);
    EXPECT_EQ(zeltest::readFile(target), "root's content");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(shared))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"owned-by-root.bin"});
}

ZEL_TEST_CHILD(crypt_unprivileged) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
        return 10;
    Tool tool;
    const Outcome r = tool.zel({"encrypt", args.at(0), "-o", args.at(2), "--key-file", args.at(1)});
    expectOneErrorLine(r, 1, args.at(2) + ": cannot replace: ");
    return r.status == 1 && r.err.find(": cannot replace: ") != std::string::npos ? 0 : 11;
}
#endif

// What the help says the format detects: damage in the first or last 8 bytes
// (the magic and length words and their partners); elsewhere wrong plain text
// and exit 0.
TEST_F(ToolCryptTest, DamageIsDetectedOnlyWhereTheHelpSays) {
    const std::string text = pseudoRandom(1000, 7);
    zeltest::writeFile(plain, text);
    ASSERT_EQ(tool.zel({"encrypt", plain, "-o", cipher, "--key-file", keyFile}).status, 0);
    const std::string sealed = zeltest::readFile(cipher);
    ASSERT_EQ(sealed.size(), 1008u);
    Outcome help = tool.run({"decrypt", "--help"});
    EXPECT_NE(help.out.find("only damage to the first 8 or the last 8 bytes"), std::string::npos)
        << help.out;
    struct Case {
        std::size_t byte;
        bool detected;
    } cases[] = {{0, true},    {5, true},    {7, true},    {8, false},  {500, false},
                 {999, false}, {1000, true}, {1003, true}, {1007, true}};
    const std::string damaged = tool.dir().join("damaged.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.byte);
        std::string bytes = sealed;
        bytes[c.byte] = static_cast<char>(bytes[c.byte] ^ 0x10);
        zeltest::writeFile(damaged, bytes);
        Outcome r = tool.zel({"decrypt", damaged, "-o", back, "--key-file", keyFile});
        if (c.detected) {
            expectOneErrorLine(r, 1, "wrong key or damaged data");
        } else {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(zeltest::fileSize(back), 1000);
            EXPECT_FALSE(zeltest::readFile(back) == text);
        }
    }
}

// Standard input is held in memory, in pieces of 1 MiB; its limit is the
// library's.
TEST_F(ToolCryptTest, StandardInputRoundTrip) {
    for (std::size_t n : {std::size_t(3000), (std::size_t(1) << 20) + 3000}) {
        SCOPED_TRACE(n);
        const std::string text = pseudoRandom(n, 3);
        zeltest::writeFile(plain, text);
        Outcome e = tool.zel({"encrypt", "--key-file", keyFile}, plain);
        ASSERT_EQ(e.status, 0) << e.err;
        // The raw bytes (Outcome::out has carriage returns taken out).
        EXPECT_TRUE(zeltest::readFile(tool.dir().join("stdout.txt")) ==
                    libraryEncrypt("correct horse", text));
    }
}

#ifndef _WIN32
mode_t modeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}
#endif

// The output replaces an existing target with the target's mode and owner; a
// new file gets what the umask gives.
TEST_F(ToolCryptTest, OutputKeepsTheTargetsModeAndOwner) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows files have no mode bits; the file inherits its folder's ACL";
#else
    ASSERT_EQ(tool.zel({"encrypt", plain, "-o", cipher, "--key-file", keyFile}).status, 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(modeOf(cipher), 0666 & ~mask);
    for (mode_t mode : {0600, 0640, 0604, 0700}) {
        SCOPED_TRACE(mode);
        zeltest::writeFile(back, "previous");
        chmod(back.c_str(), mode);
        ASSERT_EQ(tool.zel({"decrypt", cipher, "-o", back, "--key-file", keyFile}).status, 0);
        EXPECT_EQ(zeltest::readFile(back), data);
        EXPECT_EQ(modeOf(back), mode);
    }
    if (geteuid() == 0) {
        // Root may give the file away: the result keeps the target's owner.
        zeltest::writeFile(back, "previous");
        ASSERT_EQ(chown(back.c_str(), 65534, 65534), 0);
        ASSERT_EQ(tool.zel({"decrypt", cipher, "-o", back, "--key-file", keyFile}).status, 0);
        struct stat st {};
        ASSERT_EQ(stat(back.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
#endif
}

// A run stopped by SIGINT or SIGTERM while it writes leaves the target as it
// was and no temporary file; while it lives, the temporary file is 0600.
TEST_F(ToolCryptTest, InterruptedRunLeavesNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX signals; Windows has no SIGINT/SIGTERM to send to another process";
#else
    zeltest::writeFile(plain, pseudoRandom(48u << 20, 11));
    ASSERT_EQ(tool.zel({"encrypt", plain, "-o", cipher, "--key-file", keyFile}).status, 0);
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        zeltest::writeFile(back, "previous content");
        Background run({"--log", tool.log(), "decrypt", cipher, "-o", back, "--key-file", keyFile},
                       tool.dir().join("run.txt"));
        ASSERT_TRUE(run.started());
        std::string temporary;
        const bool writing = waitFor([&] {
            for (const auto& e : fs::directory_iterator(tool.dir().path())) {
                const std::string name = e.path().filename().string();
                if (name.find(".zel-") != std::string::npos &&
                    zeltest::fileSize(e.path().string()) > 0) {
                    temporary = e.path().string();
                    return true;
                }
            }
            return false;
        });
        ASSERT_TRUE(writing);
        EXPECT_EQ(modeOf(temporary), 0600u);
        const int status = run.stop(signal);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_FALSE(zeltest::fileExists(temporary));
        EXPECT_EQ(zeltest::readFile(back), "previous content");
    }
    EXPECT_EQ(strayFiles({"cipher.bin", "back.bin", "run.txt"}), std::vector<std::string>{});
#endif
}

class ToolLsTest : public ToolTest {
protected:
    void SetUp() override {
        top = tool.dir().join("tree");
        sep = zeltest::nativeSeparator();
        fs::create_directories(fs::path(top) / "sub");
        const auto now = fs::file_time_type::clock::now();
        struct File {
            const char* name;
            int hoursOld;
        } files[] = {{"b.txt", 3}, {"A.txt", 1}, {"c.log", 2}, {"sub/d.txt", 0}};
        for (const File& f : files) {
            fs::path p = fs::path(top) / fs::path(f.name).make_preferred();
            zeltest::writeFile(p.string(), std::string(f.hoursOld + 1, 'x'));
            fs::last_write_time(p, now - std::chrono::hours(f.hoursOld));
        }
    }
    std::string lines(const std::vector<std::string>& names) {
        std::string s;
        for (const std::string& n : names)
            s += top + sep + n + "\n";
        return s;
    }
    std::string top, sep;
};

// Names that begin or end with a blank are listed as they are, not as the
// names without it (the library drops white space around a path). A blank at
// the start matters in a relative path, so the tool runs in the test's folder.
TEST_F(ToolLsTest, NamesWithBlanksAtTheirEnds) {
    const fs::path here = tool.dir().join("blanks");
    fs::create_directories(here / " lead" / "sub");
    for (const char* name : {" lead/a.txt", " lead/sub/b.txt", " y.txt", "y.txt"})
        zeltest::writeFile((here / fs::path(name).make_preferred()).string(), "x");
#ifndef _WIN32
    // Windows drops a blank at the end of a file name itself.
    zeltest::writeFile((here / "x.txt ").string(), "x");
    zeltest::writeFile((here / "x.txt").string(), "x");
#endif
    const std::string a = " lead" + sep + "a.txt";
    const std::string b = " lead" + sep + "sub" + sep + "b.txt";
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> lines;
    } cases[] = {
        {{"ls", " lead"}, {a}},
        {{"ls", " lead" + sep}, {a}},
        {{"ls", " lead" + sep + "*.txt"}, {a}},
        {{"ls", "-r", " lead"}, {a, b}},
        {{"ls", "-r", " lead" + sep + "*.txt"}, {a, b}},
        {{"ls", " y.txt"}, {" y.txt"}},
#ifndef _WIN32
        {{"ls", "x.txt "}, {"x.txt "}},
        {{"ls", "x.txt"}, {"x.txt"}},
        {{"ls", "*.txt "}, {"x.txt "}},
#endif
    };
    const fs::path before = fs::current_path();
    fs::current_path(here);
    for (const Case& c : cases) {
        SCOPED_TRACE("[" + c.args.back() + "]" + (c.args.size() > 2 ? " " + c.args[1] : ""));
        std::string expected;
        for (const std::string& line : c.lines)
            expected += line + "\n";
        for (bool longForm : {false, true}) {
            std::vector<std::string> args = c.args;
            if (longForm)
                args.insert(args.begin() + 1, "-l");
            Outcome r = tool.zel(args);
            EXPECT_EQ(r.status, 0) << r.err;
            std::string paths;
            std::istringstream in(r.out);
            for (std::string line; std::getline(in, line);)
                paths += (longForm ? line.substr(line.find("  r") + 6) : line) + "\n";
            EXPECT_EQ(paths, expected) << (longForm ? "-l" : "");
        }
    }
    fs::current_path(before);
}

TEST_F(ToolLsTest, ListsByNameByTimeAndFlat) {
    const std::string subD = "sub" + sep + "d.txt";
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> names;
    } cases[] = {
        {{"ls", top}, {"A.txt", "b.txt", "c.log"}},
        {{"ls", top + sep}, {"A.txt", "b.txt", "c.log"}},
        {{"ls", "--by-time", top}, {"A.txt", "c.log", "b.txt"}},
        {{"ls", top + sep + "*.TXT"}, {"A.txt", "b.txt"}},
        {{"ls", "-r", top}, {"A.txt", "b.txt", "c.log", subD}},
        {{"ls", "-r", "-t", top}, {subD, "A.txt", "c.log", "b.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back() + (c.args.size() > 2 ? " " + c.args[1] : ""));
        Outcome r = tool.zel(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, lines(c.names));
        // --long lists the same files in the same order.
        std::vector<std::string> longArgs = c.args;
        longArgs.insert(longArgs.begin() + 1, "--long");
        Outcome l = tool.zel(longArgs);
        EXPECT_EQ(l.status, 0) << l.err;
        std::istringstream in(l.out);
        std::string paths;
        const std::regex row(" *(\\d+)  \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  (ro|rw)  (.*)");
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(line, m, row)) << line;
            paths += m[3].str() + "\n";
        }
        EXPECT_EQ(paths, lines(c.names));
    }
}

TEST_F(ToolLsTest, LongFormShowsSizeAndNothingMatchingFails) {
    Outcome l = tool.zel({"ls", "--long", top + sep + "b.txt"});
    ASSERT_EQ(l.status, 0) << l.err;
    EXPECT_EQ(l.out.substr(0, 3), "4  "); // the column is as wide as its widest value
    EXPECT_NE(l.out.find("  rw  "), std::string::npos);

    expectOneErrorLine(tool.zel({"ls", top + sep + "*.none"}), 1,
                       "ls: " + shownPath(top + sep + "*.none") + ": no files match");
    const std::string missing = tool.dir().join("missing");
    expectOneErrorLine(tool.zel({"ls", missing}), 1,
                       "ls: cannot access " + shownPath(missing) + ": No such file or directory");
}

std::vector<nlohmann::ordered_json> jsonLines(const std::string& out) {
    std::vector<nlohmann::ordered_json> all;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        all.push_back(
            nlohmann::ordered_json::parse(line)); // throws on anything but one object a line
    return all;
}

std::vector<std::string> keysOf(const nlohmann::ordered_json& j) {
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it)
        keys.push_back(it.key());
    return keys;
}

const std::regex kIsoTime("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d");

TEST_F(ToolLsTest, NulSeparatedAndJsonOutput) {
    Outcome z = tool.zel({"ls", "-0", top});
    ASSERT_EQ(z.status, 0) << z.err;
    EXPECT_EQ(z.out, top + sep + "A.txt" + std::string(1, '\0') + top + sep + "b.txt" +
                         std::string(1, '\0') + top + sep + "c.log" + std::string(1, '\0'));

    Outcome j = tool.zel({"ls", "--json", "-r", top});
    ASSERT_EQ(j.status, 0) << j.err;
    const std::vector<nlohmann::ordered_json> rows = jsonLines(j.out);
    ASSERT_EQ(rows.size(), 4u);
    for (const nlohmann::ordered_json& r : rows) {
        EXPECT_EQ(keysOf(r), (std::vector<std::string>{"path", "size", "time", "readOnly"}));
        EXPECT_TRUE(r["path"].is_string());
        EXPECT_TRUE(r["size"].is_number_integer());
        EXPECT_TRUE(r["readOnly"].is_boolean());
        EXPECT_TRUE(std::regex_match(r["time"].get<std::string>(), kIsoTime)) << r["time"];
    }
    EXPECT_EQ(rows[0]["path"], top + sep + "A.txt");
    EXPECT_EQ(rows[0]["size"], 2);
    EXPECT_EQ(rows[3]["path"], top + sep + "sub" + sep + "d.txt");

    expectOneErrorLine(tool.zel({"ls", "-0", "--json", top}), 2, "ls: ");
}

#ifndef _WIN32
// A line end in a name cannot forge a second entry for a script that asks for
// NUL separation or JSON; written to a file, names stay as they are.
TEST_F(ToolLsTest, NamesWithLineEnds) {
    const std::string odd = top + sep + "x\nforged.txt";
    zeltest::writeFile(odd, "1");
    Outcome z = tool.zel({"ls", "-0", top + sep + "x*"});
    EXPECT_EQ(z.out, odd + std::string(1, '\0'));
    Outcome j = tool.zel({"ls", "--json", top + sep + "x*"});
    const std::vector<nlohmann::ordered_json> rows = jsonLines(j.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["path"], odd);
    EXPECT_EQ(tool.zel({"ls", top + sep + "x*"}).out, odd + "\n");
}
#endif

// A log that is not a regular file is refused, never waited on: a named pipe
// that no one writes, a device.
TEST_F(ToolTest, LogThatIsNotAFileIsRefused) {
#ifdef _WIN32
    GTEST_SKIP() << "named pipes and devices in the file system are POSIX";
#else
    const std::string pipe = tool.dir().join("log.fifo");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& log : {pipe, std::string("/dev/null")}) {
        SCOPED_TRACE(log);
        expectOneErrorLine(tool.run({"--log", log, "log", "-n", "1"}), 1,
                           "cannot open " + shownPath(log) + " for reading: Not a regular file");
    }
#endif
}

TEST_F(ToolTest, LogJsonRecords) {
    ASSERT_EQ(tool.zel({"log", "--trace", "first"}).status, 0);
    // A line end cannot pass through cmd.exe: this one comes from the library here.
    zel::Exception::SetErrorLogLocation(tool.log().c_str());
    zel::Exception::trace("%s", "two\nlines");
    zel::Exception::SetErrorLogLocation("");
    ASSERT_EQ(tool.zel({"log", "--trace", ""}).status, 0);
    Outcome j = tool.zel({"log", "--json"});
    ASSERT_EQ(j.status, 0) << j.err;
    const std::vector<nlohmann::ordered_json> rows = jsonLines(j.out);
    ASSERT_EQ(rows.size(), 3u);
    struct Expected {
        const char* kind;
        const char* text;
        const char* prefix;
    } expected[] = {{"TRACE", "first", "Mirror TRACE: "},
                    {"TRACE", "two\nlines", "Mirror TRACE: "},
                    {"Format Error", "%s", "Mirror TRACE Format Error: "}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        const nlohmann::ordered_json& r = rows[i];
        EXPECT_EQ(keysOf(r),
                  (std::vector<std::string>{"time", "kind", "text", "host", "file", "prefix"}));
        // The log's local time, with the machine's offset at that moment.
        EXPECT_TRUE(std::regex_match(r["time"].get<std::string>(), kIsoTime)) << r["time"];
        EXPECT_EQ(r["kind"], expected[i].kind);
        EXPECT_EQ(r["text"], expected[i].text);
        EXPECT_EQ(r["prefix"], expected[i].prefix);
        EXPECT_EQ(r["file"], tool.log());
        EXPECT_FALSE(r["host"].get<std::string>().empty());
    }
    EXPECT_EQ(jsonLines(tool.zel({"log", "--json", "--tail", "1"}).out).size(), 1u);
}

TEST_F(ToolTest, TraceThatDoesNotReachTheLogFails) {
    const std::string nowhere = tool.dir().join("missing") + zeltest::nativeSeparator() + "L.txt";
    Outcome r = tool.run({"--log", nowhere, "log", "--trace", "lost"});
    expectOneErrorLine(r, 1, "the line did not reach the log");
    EXPECT_EQ(r.out, "");
}

// --follow goes on across a rotation: the rest of the older generation, then the
// new file, as tail -F does.
TEST_F(ToolTest, FollowGoesAcrossARotation) {
    // Just below the rotation threshold: the next line fits, the one after rotates.
    const std::string filler = std::string(99, 'x') + "\n";
    std::string big;
    while (big.size() + filler.size() <= 9999990)
        big += filler;
    big += std::string(9999990 - big.size() - 1, 'x') + "\n";
    zeltest::writeFile(tool.log(), big);
    const std::string out = tool.dir().join("follow.txt");
    Background follower({"--log", tool.log(), "log", "--follow", "--json", "--tail", "1"}, out);
    ASSERT_TRUE(follower.started());
    ASSERT_TRUE(waitFor([&] { return zeltest::readFile(out).find('\n') != std::string::npos; }));

    zel::Exception::SetErrorLogLocation(tool.log().c_str());
    for (const char* text : {"one", "two", "three"})
        zel::Exception::trace("%s", text);
    zel::Exception::SetErrorLogLocation("");
    EXPECT_TRUE(zeltest::fileExists(tool.log() + ".001"));
    EXPECT_LT(zeltest::fileSize(tool.log()), 1000);

    EXPECT_TRUE(waitFor([&] { return zeltest::readFile(out).find("three") != std::string::npos; }));
    follower.stop(0);
    // Standard error is in the same file: the rotation is said there, as tail -F
    // says it.
    std::string text;
    bool rotationSaid = false;
    std::istringstream all(zeltest::readFile(out));
    for (std::string line; std::getline(all, line);) {
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        if (line.rfind("zel: log: ", 0) == 0)
            rotationSaid = rotationSaid || line.find(" was rotated to ") != std::string::npos;
        else
            text += line + "\n";
    }
    EXPECT_TRUE(rotationSaid);
    const std::vector<nlohmann::ordered_json> rows = jsonLines(text);
    std::vector<std::string> texts;
    for (const nlohmann::ordered_json& r : rows) {
        if (r["kind"] == "TRACE")
            texts.push_back(r["text"]);
        EXPECT_EQ(r["file"], tool.log());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"one", "two", "three"}));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0]["kind"], "Other");
}

// Folders the walk cannot read are named on standard error with their count and
// the exit status is 1, as find does; the files it could read are listed.
// `folder` is the start of the folder's path.
static bool lsReportsTheFolderItCannotRead(const std::string& top, const std::string& folder) {
    const std::string sep = zeltest::nativeSeparator();
    Tool tool;
    Outcome r = tool.zel({"ls", "-r", top});
    // As ls: "cannot open directory 'x': <the system's reason>".
    const std::string named = "zel: ls: cannot open directory '" + folder;
    const std::string count =
        "\nzel: ls: in all: 1 folder could not be read (its files are not listed)\n";
    const bool reported = r.err.compare(0, named.size(), named) == 0 &&
                          r.err.size() > count.size() &&
                          r.err.compare(r.err.size() - count.size(), count.size(), count) == 0 &&
                          countLines(r.err) == 2;
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(reported) << r.err;
    EXPECT_EQ(r.out, top + sep + "A.txt\n" + top + sep + "b.txt\n" + top + sep + "c.log\n" + top +
                         sep + "sub" + sep + "d.txt\n");
    return r.status == 1 && reported;
}

#ifdef _WIN32
// Windows: a folder whose path is too long for the calls of the walk.
TEST_F(ToolLsTest, FoldersThatCannotBeReadAreReported) {
    fs::path deep = fs::path("\\\\?\\" + fs::absolute(top).string()) / "sub";
    for (int i = 0; i < 150; ++i) {
        deep /= "d";
        fs::create_directory(deep);
    }
    std::ofstream(deep / "x.txt") << "x";
    lsReportsTheFolderItCannotRead(top, top + sep + "sub" + sep + "d" + sep + "d");
    std::error_code ec;
    fs::remove_all(fs::path("\\\\?\\" + fs::absolute(top).string()) / "sub" / "d", ec);
}
#else
// Linux: a folder without permissions, walked by a process that is not root.
TEST_F(ToolLsTest, FoldersThatCannotBeReadAreReported) {
    const std::string closed = top + sep + "sub" + sep + "closed";
    fs::create_directories(closed);
    zeltest::writeFile(closed + sep + "x.txt", "x");
    for (const std::string& dir : {tool.dir().path(), top, top + sep + "sub"})
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(closed, fs::perms::none);
    const int code = zeltest::runChild("ls_unprivileged", {top, closed});
    fs::permissions(closed, fs::perms::owner_all);
    EXPECT_EQ(code, 0);
}

ZEL_TEST_CHILD(ls_unprivileged) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        return 10;
    return lsReportsTheFolderItCannotRead(args.at(0), args.at(1)) ? 0 : 11;
}
#endif

TEST_F(ToolTest, DemoRunsAndRemovesWhatItMade) {
    Outcome r = tool.zel({"demo"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string first = r.out.substr(0, r.out.find('\n'));
    const std::string prefix = "zel demo: working in ";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    const std::string made = first.substr(prefix.size());
    EXPECT_FALSE(fs::exists(fs::path(made))) << made;
    for (const char* part :
         {"One level, by name", "newest first", "flat, by name",
          "deciphered with the same key: accepted", "deciphered with another key:  refused",
          "Error: Demo::OpenSixthFile: Exception caught", "6. Removed"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part;
    // The demo logs into its own folder, not into the log of the run.
    EXPECT_FALSE(zeltest::fileExists(tool.log()));
}

TEST_F(ToolTest, MutexIsObtainedHeldAndReleased) {
    const std::string name = "zel-tool-test-" + std::to_string(std::random_device()());
    Outcome r = tool.zel({"mutex", name});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "owned " + name + " (created)\nreleased " + name + "\n");

    // While one process holds it, another gives up after its time-out.
    Tool holder;
    Outcome held;
    std::thread t([&] { held = holder.zel({"mutex", name, "--hold", "4"}); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (zeltest::readFile(holder.dir().join("stdout.txt")).find("holding") ==
               std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Held elsewhere is exit 3, apart from failures (1): after a time-out, or at
    // once with --try.
    Outcome waiting = tool.zel({"mutex", name, "--timeout", "0.2"});
    Outcome tried = tool.zel({"mutex", name, "--try"});
    t.join();
    EXPECT_EQ(held.status, 0) << held.err;
    // "held", never "obtained"; the holder named where the system tells.
    expectOneErrorLine(waiting, 3, "mutex: '" + name + "' is held by ");
    EXPECT_EQ(waiting.out, "held " + name + "\n");
    expectOneErrorLine(tried, 3, "mutex: '" + name + "' is held by ");
    EXPECT_EQ(tried.out, "held " + name + "\n");
#ifdef __linux__
    // Root sees every process's sockets: the holder is named.
    if (::getuid() == 0) {
        EXPECT_NE(tried.err.find("is held by process "), std::string::npos) << tried.err;
    }
#else
    EXPECT_NE(tried.err.find("the system does not say which"), std::string::npos) << tried.err;
#endif
    // Free again: --try obtains it.
    Outcome free = tool.zel({"mutex", name, "--try"});
    EXPECT_EQ(free.status, 0) << free.err;
    EXPECT_NE(free.out.find("owned " + name), std::string::npos) << free.out;
    Outcome help = tool.run({"mutex", "--help"});
    EXPECT_NE(help.out.find("3 when another"), std::string::npos) << help.out;
}

TEST_F(ToolTest, IsAdminAnswersYesOrNo) {
    Outcome r = tool.zel({"isadmin"});
    EXPECT_TRUE((r.out == "yes\n" && r.status == 0) || (r.out == "no\n" && r.status == 1))
        << r.out << r.status;
    EXPECT_EQ(r.err, "");
}

// What a command would have to move or read is refused first: a folder given as
// the log or as the key file is a usage error (exit 2), and the folder and its
// files stay as they were.
TEST_F(ToolTest, FoldersGivenAsFilesAreRefusedBeforeAnythingMoves) {
    const std::string folder = tool.dir().join("logs");
    fs::create_directories(folder);
    zeltest::writeFile(folder + zeltest::nativeSeparator() + "mine.txt", "the user's");
    const std::string sep = zeltest::nativeSeparator();
    struct Case {
        std::vector<std::string> args;
        std::string part;
    } cases[] = {
        {{"--log", folder, "log", "--trace", "start"},
         "zel: log: --log " + shownPath(folder) + ": is a folder"},
        {{"--log", folder, "log", "-n", "5"}, "zel: log: --log "},
        {{"--log", folder + sep, "log", "--trace", "start"}, ": is a folder"},
        {{"--log", folder, "guid"}, "is a folder"},
        {{"--log", tool.log(), "encrypt", "--key-file", folder, tool.log()},
         "encrypt: --key-file " + folder + ": is a folder"},
        {{"--log", tool.log(), "decrypt", "--key-file", folder}, "--key-file " + folder},
        // A folder as input or as output is the same mistake.
        {{"--log", tool.log(), "encrypt", "--key-env", "PATH", folder}, "INPUT " + folder},
        {{"--log", tool.log(), "encrypt", "--key-env", "PATH", folder + sep + "mine.txt", "-o",
          folder},
         "-o " + folder + ": is a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[2]);
        Outcome r = tool.run(c.args);
        expectOneErrorLine(r, 2, c.part);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(fs::is_directory(folder));
        EXPECT_EQ(zeltest::readFile(folder + sep + "mine.txt"), "the user's");
        EXPECT_FALSE(fs::exists(folder + ".blocked"));
    }
}

TEST_F(ToolTest, NumPointsOutWrapsAndCuts) {
    struct Case {
        const char* text;
        std::vector<std::string> present, absent;
    } cases[] = {
        {"99999999999999999999",
         {"stringToInteger     1661992959  (end 20, rest \"\")  wrapped: 99999999999999999999 "
          "does not fit in 32 bits",
          "does not fit in 64 bits", "cut: only the first 18 of 20 digits are read",
          "canCoerceToInteger  yes (leading zeros refused), yes (permitted); it does not fit"},
         {}},
        {"2147483647", {"stringToInteger     2147483647  (end 10"}, {"wrapped", "cut:"}},
        {"2147483648",
         {"stringToInteger     -2147483648", "wrapped: 2147483648 does not fit in 32"},
         {"64 bits"}},
        {"-2147483648", {}, {"wrapped", "does not fit"}},
        {"-000000000002147483649", {"wrapped: -2147483649 does not fit in 32 bits"}, {"64 bits"}},
        {"9223372036854775808", {"wrapped: 9223372036854775808 does not fit in 64 bits"}, {}},
        {"-9223372036854775808", {"does not fit in 32 bits"}, {"64 bits"}},
        {"1.2345678901234567890", {"cut: only the first 18 of 20 digits"}, {"wrapped"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Outcome r = tool.zel({"num", c.text});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const std::string& p : c.present)
            EXPECT_NE(r.out.find(p), std::string::npos) << p << "\n" << r.out;
        for (const std::string& a : c.absent)
            EXPECT_EQ(r.out.find(a), std::string::npos) << a << "\n" << r.out;
    }
}

TEST_F(ToolTest, EncryptHelpSaysWhatTheCipherIsFor) {
    for (const char* command : {"encrypt", "decrypt"}) {
        SCOPED_TRACE(command);
        Outcome h = tool.run({command, "--help"});
        EXPECT_NE(h.out.find("stored in this format before"), std::string::npos) << h.out;
        EXPECT_NE(h.out.find("Do not use it to protect new secrets"), std::string::npos);
        EXPECT_NE(h.out.find("--force"), std::string::npos);
    }
}

#ifndef _WIN32
// Runs zel with standard output and error on a new terminal; the status and
// what the terminal showed. With `typed`, standard input is the terminal too and
// `typed` the keys waiting on it; the terminal then passes keys on as they come
// (no echo, no line editing, no signal keys), so that keys typed ahead reach the
// program as typed, whenever it reads them. `during(pid)` runs while the
// program does.
Outcome runOnTerminal(const std::vector<std::string>& args, const char* typed = nullptr,
                      const std::function<void(pid_t)>& during = nullptr) {
    Outcome r;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return r;
    const std::string slave = ptsname(master);
    // Held open until the child has the terminal, so that its settings stay.
    const int held = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    bool ready = held >= 0;
    if (ready && typed != nullptr) {
        termios raw{};
        const auto length = static_cast<ssize_t>(std::strlen(typed));
        ready = tcgetattr(held, &raw) == 0;
        if (ready) {
            cfmakeraw(&raw);
            ready = tcsetattr(held, TCSANOW, &raw) == 0 && write(master, typed, length) == length;
        }
    }
    if (!ready) {
        if (held >= 0)
            close(held);
        close(master);
        return r;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int fd = open(slave.c_str(), O_RDWR);
        const int none = open("/dev/null", O_RDONLY);
        dup2(typed != nullptr ? fd : none, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<std::string> all = {ZEL_TOOL_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(held);
    if (pid > 0 && during)
        during(pid);
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // EIO once the child's side is closed
        r.out.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());
    return r;
}
#endif

// Binary output is not written to a terminal unless --force is given.
TEST_F(ToolCryptTest, BinaryOutputToATerminalIsRefused) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a terminal for standard output; the Windows test runs have none";
#else
    const std::string text = tool.dir().join("text.txt");
    zeltest::writeFile(text, "plain words\n");
    const std::string textCipher = tool.dir().join("text.bin");
    ASSERT_EQ(tool.zel({"encrypt", plain, "-o", cipher, "--key-file", keyFile}).status, 0);
    ASSERT_EQ(tool.zel({"encrypt", text, "-o", textCipher, "--key-file", keyFile}).status, 0);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string part;
    } cases[] = {
        {{"encrypt", plain}, 2, "zel: encrypt: standard output is a terminal"},
        {{"decrypt", cipher}, 2, "zel: decrypt: standard output is a terminal and the deciphered"},
        {{"decrypt", textCipher}, 0, "plain words\n"},
        {{"decrypt", cipher, "--force"}, 0, "binary tail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        std::vector<std::string> args = {"--log", tool.log()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"--key-file", keyFile});
        Outcome r = runOnTerminal(args);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_NE(r.out.find(c.part), std::string::npos) << r.out;
    }
    // With --force the cipher text reaches the terminal.
    Outcome forced =
        runOnTerminal({"--log", tool.log(), "encrypt", plain, "--force", "--key-file", keyFile});
    EXPECT_EQ(forced.status, 0) << forced.out;
    EXPECT_GE(forced.out.size(), 40u);
#endif
}

// Without --key-file or --key-env the key is asked for on the terminal, without
// echo; encrypt asks twice. Backspace takes back a character, cursor and
// function keys are passed over, Ctrl-C, Ctrl-D and Ctrl-Z cancel.
TEST_F(ToolCryptTest, KeyIsAskedForOnATerminal) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a terminal for standard input; the Windows test runs have none";
#else
    const std::string sealed = libraryEncrypt("pass word", data);
    zeltest::writeFile(cipher, sealed);
    const std::string out = tool.dir().join("out.bin");
    struct Case {
        std::vector<std::string> args;
        const char* typed;
        int status;
        const char* shown; // after the prompts; "" for a run that succeeds
    } cases[] = {
        {{"encrypt", plain, "-o", out}, "pass word\rpass word\r", 0, ""},
        {{"encrypt", plain, "-o", out},
         "pass worf\x7f"
         "d\r\x7f\x7fpass word\n",
         0,
         ""},
        {{"encrypt", plain, "-o", out}, "pass\x1b[D\x1b[C word\x1bOP\x1b[3~\rpass word\r", 0, ""},
        {{"decrypt", cipher, "-o", back}, "pass word\r", 0, ""},
        {{"encrypt", plain, "-o", out},
         "pass word\rpass w\r",
         1,
         "zel: encrypt: the two keys differ"},
        {{"encrypt", plain, "-o", out}, "\r", 2, "the key from the prompt is empty"},
        {{"encrypt", plain, "-o", out}, "pass\x03", 1, "zel: encrypt: cancelled"},
        {{"encrypt", plain, "-o", out}, "pass\x04", 1, "zel: encrypt: cancelled"},
        {{"decrypt", cipher, "-o", back}, "\x1a", 1, "zel: decrypt: cancelled"},
        // The data would come from the terminal too: no prompt.
        {{"encrypt", "-o", out}, "", 2, "reading data from a terminal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.typed)));
        std::remove(out.c_str());
        std::remove(back.c_str());
        std::vector<std::string> args = {"--log", tool.log()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome r = runOnTerminal(args, c.typed);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_EQ(r.out.find("pass"), std::string::npos) << r.out; // never echoed
        if (c.status != 0) {
            EXPECT_NE(r.out.find(c.shown), std::string::npos) << r.out;
            EXPECT_FALSE(zeltest::fileExists(out));
            EXPECT_FALSE(zeltest::fileExists(back));
        } else if (c.args[0] == "encrypt") {
            EXPECT_EQ(r.out, "Key: \nKey again: \n");
            EXPECT_TRUE(zeltest::readFile(out) == sealed);
        } else {
            EXPECT_EQ(r.out, "Key: \n");
            EXPECT_EQ(zeltest::readFile(back), data);
        }
    }
    EXPECT_EQ(strayFiles({"cipher.bin", "out.bin"}), std::vector<std::string>{});
#endif
}

// A terminal that goes away while the key is typed ends the prompt, also in a
// process that ignores SIGHUP (as under nohup): it fails, and writes nothing.
TEST_F(ToolCryptTest, PromptEndsWhenItsTerminalGoes) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a terminal for standard input; the Windows test runs have none";
#else
    const std::string out = tool.dir().join("out.bin");
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGHUP, SIG_IGN); // kept across exec
        close(master);
        setsid();
        const int fd = open(slave.c_str(), O_RDWR);
        dup2(fd, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        execl(ZEL_TOOL_PATH, ZEL_TOOL_PATH, "--log", tool.log().c_str(), "encrypt", plain.c_str(),
              "-o", out.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    // Once the prompt is shown, a few keys, then the terminal goes.
    std::string shown;
    char buffer[256];
    while (shown.find("Key: ") == std::string::npos) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        shown.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_NE(shown.find("Key: "), std::string::npos) << shown;
    EXPECT_EQ(write(master, "pass", 4), 4);
    close(master);
    // A bound against a prompt that never ends (ample: the prompt ends at once).
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 600 && ended == 0; ++i) {
        ended = waitpid(pid, &status, WNOHANG);
        if (ended == 0)
            usleep(50 * 1000);
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the prompt went on after its terminal had gone";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_FALSE(zeltest::fileExists(out));
#endif
}

// A run of more than a second shows how far it is on a terminal's standard
// error and clears the line at the end. (The run is held stopped for a second
// once it writes.)
TEST_F(ToolCryptTest, LongRunShowsProgressOnATerminal) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a terminal for standard error and a way to stop a process";
#else
    zeltest::writeFile(plain, pseudoRandom(48u << 20, 13));
    bool held = false;
    const Outcome r = runOnTerminal(
        {"--log", tool.log(), "encrypt", plain, "-o", cipher, "--key-file", keyFile}, nullptr,
        [&](pid_t pid) {
            held = waitFor([&] {
                for (const auto& e : fs::directory_iterator(tool.dir().path()))
                    if (e.path().filename().string().find(".zel-") != std::string::npos &&
                        zeltest::fileSize(e.path().string()) > 0)
                        return true;
                return false;
            });
            kill(pid, SIGSTOP);
            std::this_thread::sleep_for(std::chrono::milliseconds(1200));
            kill(pid, SIGCONT);
        });
    ASSERT_TRUE(held);
    EXPECT_EQ(r.status, 0) << r.out;
    // The last progress text, "zel: encrypt: 7 of 49 MiB", then as many blanks.
    const std::size_t last = r.out.rfind("zel: encrypt: ");
    ASSERT_NE(last, std::string::npos) << r.out;
    const std::string tail = r.out.substr(last);
    const std::size_t end = tail.find(" of 49 MiB");
    ASSERT_NE(end, std::string::npos) << r.out;
    const std::string text = tail.substr(0, end + 10);
    EXPECT_EQ(tail, text + std::string(text.size(), ' '));
    EXPECT_EQ(zeltest::fileSize(cipher), (48ll << 20) + 8);
#endif
}

// Paths as ls and find take them: each missing path named, with the rest still
// listed; a pattern's name part matched at every level of a walk; every path
// written is one that exists.
TEST_F(ToolLsTest, PathsAndPatternsAsLsAndFindTakeThem) {
    // A folder named like the pattern's own folder, as pt/pt below.
    const std::string pt = top + sep + "pt";
    fs::create_directories(pt + sep + "pt");
    zeltest::writeFile(pt + sep + "x.txt", "x");
    zeltest::writeFile(pt + sep + "pt" + sep + "y.txt", "y");
    fs::create_directories(top + sep + "empty");
    const std::string missing = tool.dir().join("nope");
    const std::string subD = "sub" + sep + "d.txt";
    const std::string ptX = "pt" + sep + "x.txt", ptY = "pt" + sep + "pt" + sep + "y.txt";
    const std::string noSuch = ": No such file or directory";
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> names; // below top
        int status;
        std::vector<std::string> errors; // each a line of standard error
    } cases[] = {
        // By path, ASCII case ignored: pt/pt/y.txt comes before pt/x.txt.
        {{"-r", top + sep + "*.txt"}, {"A.txt", "b.txt", ptY, ptX, subD}, 0, {}},
        {{"-r", top + sep + "D.TXT"}, {subD}, 0, {}},
        {{"-r", pt + sep + "*.txt"}, {ptY, ptX}, 0, {}},
        {{"-r", top + sep + "e*"},
         {},
         1,
         {"zel: ls: " + shownPath(top + sep + "e*") + ": no files match"}},
        {{missing, top},
         {"A.txt", "b.txt", "c.log"},
         1,
         {"zel: ls: cannot access " + shownPath(missing) + noSuch}},
        {{top + sep, missing + sep, missing + sep + "*.txt"},
         {"A.txt", "b.txt", "c.log"},
         1,
         {"zel: ls: cannot access " + shownPath(missing + sep) + noSuch,
          "zel: ls: cannot access " + shownPath(missing + sep + "*.txt") + noSuch}},
        {{"-r", missing + sep + "*.txt"},
         {},
         1,
         {"zel: ls: cannot access " + shownPath(missing + sep + "*.txt") + noSuch}},
        {{top + sep + "empty"}, {}, 0, {}},
        {{"-r", top + sep + "empty" + sep}, {}, 0, {}},
        {{top + sep + "c.log"}, {"c.log"}, 0, {}},
    };
    for (const Case& c : cases) {
        std::string name;
        for (const std::string& a : c.args)
            name += a + " ";
        SCOPED_TRACE(name);
        std::vector<std::string> args = {"ls"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome r = tool.zel(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, lines(c.names));
        std::string expected;
        for (const std::string& e : c.errors)
            expected += e + "\n";
        EXPECT_EQ(r.err, expected);
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);)
            EXPECT_TRUE(fs::exists(fs::path(line))) << line;
    }
}

// Sets the last-write time to calendar seconds (the file clock of the
// standard library does not reach every year).
void setModified(const std::string& path, long long secondsSince1970) {
#ifdef _WIN32
    const unsigned long long ticks =
        static_cast<unsigned long long>(secondsSince1970 + 11644473600LL) * 10000000ULL;
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &time));
    CloseHandle(h);
#else
    const struct timespec times[2] = {{static_cast<time_t>(secondsSince1970), 0},
                                      {static_cast<time_t>(secondsSince1970), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
#endif
}

// Dates before 1970 and after 2038 are shown as dates; the long form's columns
// are as wide as their widest value; -h gives readable sizes.
TEST_F(ToolLsTest, DatesAtAnyYearAndColumnsThatLineUp) {
    const std::string dated = tool.dir().join("dated");
    fs::create_directories(dated);
    struct File {
        const char* name;
        long long seconds; // at noon UTC, the same date in nearly every zone
        const char* date;
        long long size;
        const char* readable;
    } files[] = {
#ifndef _WIN32
        // Windows: the library gives -1 for files before 1970 (its _mktime64).
        {"moon.txt", -14212800, "1969-07-20", 1, "1"},
#endif
        {"y2100.txt", 4116744000LL, "2100-06-15", 1234567, "1.2M"},
        // A leap day of a 400th year; the file systems of the test hosts end in 2446.
        {"y2400.txt", 13574606400LL, "2400-02-29", 2048, "2.0K"},
    };
    for (const File& f : files) {
        const std::string path = dated + zeltest::nativeSeparator() + f.name;
        zeltest::writeFile(path, std::string(static_cast<std::size_t>(f.size), 'z'));
        setModified(path, f.seconds);
    }
    Outcome l = tool.zel({"ls", "-l", dated});
    Outcome h = tool.zel({"ls", "-lh", dated});
    Outcome j = tool.zel({"ls", "--json", dated});
    ASSERT_EQ(l.status, 0) << l.err;
    ASSERT_EQ(h.status, 0) << h.err;
    ASSERT_EQ(j.status, 0) << j.err;
    const std::vector<nlohmann::ordered_json> rows = jsonLines(j.out);
    std::istringstream longLines(l.out), readableLines(h.out);
    std::size_t pathColumn = std::string::npos;
    ASSERT_EQ(rows.size(), sizeof files / sizeof files[0]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const File& f = files[i];
        SCOPED_TRACE(f.name);
        std::string line, readable;
        std::getline(longLines, line);
        std::getline(readableLines, readable);
        const std::string path = dated + zeltest::nativeSeparator() + f.name;
        EXPECT_NE(line.find("  " + std::string(f.date) + " 12:00:00  "), std::string::npos) << line;
        // Every row's path starts in the same column.
        ASSERT_GE(line.size(), path.size());
        const std::size_t column = line.size() - path.size();
        EXPECT_EQ(line.substr(column), path);
        if (pathColumn == std::string::npos)
            pathColumn = column;
        EXPECT_EQ(column, pathColumn) << l.out;
        const std::string size = std::to_string(f.size);
        EXPECT_EQ(line.substr(0, 7), std::string(7 - size.size(), ' ') + size) << l.out;
        EXPECT_EQ(readable.substr(0, 4),
                  std::string(4 - std::string(f.readable).size(), ' ') + f.readable)
            << h.out;
        const std::string time = rows[i]["time"].get<std::string>();
        EXPECT_TRUE(std::regex_match(time, kIsoTime)) << time;
        EXPECT_EQ(time.substr(0, 10), f.date);
    }
}

#ifndef _WIN32
// Entries the library could not read are named with the system's reason, the
// first 20, then counted. A dangling link is said but fails nothing, as with
// find -L; a link that loops is a failure.
TEST_F(ToolLsTest, EntriesThatCannotBeReadAreNamed) {
    struct Case {
        int dangling;
        int loops;
        int status;
        int named; // lines naming an entry
        const char* more;
    } cases[] = {
        {1, 0, 0, 1, nullptr},
        {25, 0, 0, 20, "zel: ls: 5 more not named (at most 20 are)\n"},
        {2, 1, 1, 3, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dangling) + " " + std::to_string(c.loops));
        const std::string folder =
            tool.dir().join("links" + std::to_string(c.dangling) + "-" + std::to_string(c.loops));
        fs::create_directories(folder);
        zeltest::writeFile(folder + sep + "real.txt", "r");
        for (int i = 0; i < c.dangling; ++i)
            fs::create_symlink("nowhere", folder + sep + "dangling" + std::to_string(i));
        for (int i = 0; i < c.loops; ++i)
            fs::create_symlink("loop" + std::to_string(i),
                               folder + sep + "loop" + std::to_string(i));
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"ls", folder}, std::vector<std::string>{"ls", "-r", folder},
              std::vector<std::string>{"ls", "-l", folder}}) {
            SCOPED_TRACE(args[1]);
            Outcome r = tool.zel(args);
            EXPECT_EQ(r.status, c.status) << r.err;
            EXPECT_EQ(r.out.substr(r.out.find(folder)), folder + sep + "real.txt\n");
            const std::regex named("zel: ls: ('" + folder + sep +
                                   "dangling\\d+': dangling link \\(its target does not exist\\), "
                                   "not listed|cannot access '" +
                                   folder + sep + "loop\\d': Too many levels of symbolic links)\n");
            const auto found = std::distance(
                std::sregex_iterator(r.err.begin(), r.err.end(), named), std::sregex_iterator());
            EXPECT_EQ(found, c.named) << r.err;
            if (c.more != nullptr) {
                EXPECT_NE(r.err.find(c.more), std::string::npos) << r.err;
            }
            if (c.dangling + c.loops > 1) {
                std::string sum = "zel: ls: in all: ";
                if (c.loops != 0)
                    sum += std::to_string(c.loops) + " entry could not be read, ";
                sum += std::to_string(c.dangling) + " dangling links\n";
                EXPECT_NE(r.err.find(sum), std::string::npos) << r.err;
            }
        }
    }
}
#endif

// Walk limits as find's -maxdepth and -xdev, and a folder reached by a second
// route walked once and reported (no error, exit status unchanged).
TEST_F(ToolLsTest, WalkLimitsAndFoldersReachedTwice) {
    const std::string subD = "sub" + sep + "d.txt";
    std::string twice; // standard error when a second route was found
#ifndef _WIN32
    fs::create_directory_symlink("sub", top + sep + "lsub");
    twice = "zel: ls: 1 folder was reached again by another route (a link) and not walked "
            "twice, the first at " +
            shownPath(top + sep + "lsub") + "\n";
#endif
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> names;
        int status;
        std::string err;
    } cases[] = {
        {{"-r", top}, {"A.txt", "b.txt", "c.log", subD}, 0, twice},
        {{"-r", "-x", top}, {"A.txt", "b.txt", "c.log", subD}, 0, twice},
        {{"--max-depth", "2", top + sep + "*.txt"}, {"A.txt", "b.txt", subD}, 0, twice},
        {{"--max-depth", "1", top}, {"A.txt", "b.txt", "c.log"}, 0, ""},
        {{"-r", "--max-depth", "0", top}, {}, 0, ""},
        {{"--one-file-system", top + sep + "d.txt"}, {subD}, 0, twice},
    };
    for (const Case& c : cases) {
        std::string name;
        for (const std::string& a : c.args)
            name += a + " ";
        SCOPED_TRACE(name);
        std::vector<std::string> args = {"ls"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome r = tool.zel(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, lines(c.names));
        EXPECT_EQ(r.err, c.err);
    }
    expectOneErrorLine(tool.zel({"ls", "--max-depth", "x", top}), 2,
                       "ls: --max-depth must be a whole number");
}

// The root of the file system is walked like any folder: its own files, each
// path written once with one separator.
TEST_F(ToolLsTest, TheRootIsWalked) {
#ifdef _WIN32
    const std::string root = "C:\\";
#else
    const std::string root = "/";
#endif
    Outcome r = tool.zel({"ls", "--max-depth", "1", root});
    EXPECT_NE(r.status, 2) << r.err;
    EXPECT_EQ(r.err.find("no files match"), std::string::npos) << r.err;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        EXPECT_EQ(line.rfind(root, 0), 0u) << line;
        EXPECT_EQ(line.find(sep, root.size()), std::string::npos) << line; // top level only
        EXPECT_TRUE(fs::exists(fs::path(line))) << line;
    }
}

#ifndef _WIN32
// Each level holds a file, a folder d and a link l -> d: a route for every
// combination of d and l below. The walk lists each file once and says how
// many folders it reached again (walking every route, 2^24 of them, would not
// end within the test's time limit).
TEST_F(ToolLsTest, TwoRoutesPerLevelListEachFileOnce) {
    const int levels = 24;
    std::string folder = tool.dir().join("routes");
    const std::string start = folder;
    std::vector<std::string> expected;
    std::string below;
    for (int i = 0; i < levels; ++i) {
        fs::create_directories(folder + sep + "d");
        zeltest::writeFile(folder + sep + "f" + std::to_string(i) + ".txt", "x");
        fs::create_directory_symlink("d", folder + sep + "l");
        expected.push_back(start + sep + below + "f" + std::to_string(i) + ".txt");
        folder += sep + "d";
        below += "d" + sep;
    }
    Outcome r = tool.zel({"ls", "-r", start});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> listed;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        listed.push_back(line);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    EXPECT_NE(r.err.find("zel: ls: " + std::to_string(levels) + " folders were reached again"),
              std::string::npos)
        << r.err;
}
#endif

#ifndef _WIN32
// Names that another account may choose, each written to a file of its own.
struct OddName {
    const char* bytes;
    const char* terminal; // as GNU ls (coreutils 9.1, UTF-8) shows it on a terminal
};
const OddName kOddNames[] = {
    {"plain.txt", "plain.txt"},
    {"b file.TXT", "'b file.TXT'"},
    {"new\nline.txt", "'new'$'\\n''line.txt'"},
    {"new\\nline.txt", "'new\\nline.txt'"},
    {"\xff\xfe.txt", "''$'\\377\\376''.txt'"},
    {"it's", "\"it's\""},
    {"a'b$c", "'a'\\''b$c'"},
    {"x~y", "x~y"},
    {"\x1b[2J", "''$'\\033''[2J'"}, // ESC: CSI, clears the screen
    {"\xc2\x9b"
     "K",
     "''$'\\302\\233''K'"}, // C1 CSI in UTF-8
    {"\x9b"
     "K",
     "''$'\\233''K'"}, // C1 CSI as a raw byte
    {"\xc2\x9d"
     "0;t\xc2\x9c",
     "''$'\\302\\235''0;t'$'\\302\\234'"}, // OSC: window title
    {"del\x7f", "'del'$'\\177'"},
    {"tab\there", "'tab'$'\\t''here'"},
    {"\xc3\xa9t\xc3\xa9.txt", "\xc3\xa9t\xc3\xa9.txt"},
};

class ToolNamesTest : public ToolTest {
protected:
    void SetUp() override {
        folder = tool.dir().join("odd");
        fs::create_directories(folder);
        for (const OddName& n : kOddNames)
            zeltest::writeFile(folder + "/" + n.bytes, n.bytes);
    }
    std::string folder;
};

// On a terminal every name is shown as GNU ls quotes it: no control character
// reaches the terminal, and each line, pasted into a shell, names the file.
TEST_F(ToolNamesTest, TerminalShowsNamesAsGnuLsQuotesThem) {
    Outcome r = runOnTerminal({"--log", tool.log(), "ls", folder + "/*"});
    EXPECT_EQ(r.status, 0) << r.out;
    std::set<std::string> shown;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        for (const char c : line) {
            const unsigned char b = static_cast<unsigned char>(c);
            EXPECT_TRUE(b >= 0x20 && b != 0x7f) << "control byte " << int(b) << " in " << line;
        }
        shown.insert(line);
    }
    for (const OddName& n : kOddNames) {
        // The folder part is quoted with the name when the name needs quotes.
        const std::string q = n.terminal;
        const std::string expected = q[0] == '\'' || q[0] == '"'
                                         ? std::string(1, q[0]) + folder + "/" + q.substr(1)
                                         : folder + "/" + q;
        EXPECT_EQ(shown.count(expected), 1u) << expected << "\n" << r.out;
    }
    // Piped, the names are written as they are.
    Outcome piped = tool.zel({"ls", folder + "/plain.txt"});
    EXPECT_EQ(piped.out, folder + "/plain.txt\n");
}

// --json keeps every name whole: a name that is not UTF-8 is an array of its
// byte values, every other character outside printable ASCII is \uXXXX; a
// program that reads the records opens every file by the path it was given.
TEST_F(ToolNamesTest, JsonPathsOpenEveryFile) {
    Outcome j = tool.zel({"ls", "--json", folder});
    ASSERT_EQ(j.status, 0) << j.err;
    for (const char c : j.out) {
        const unsigned char b = static_cast<unsigned char>(c);
        EXPECT_TRUE(c == '\n' || (b >= 0x20 && b < 0x7f)) << "byte " << int(b);
    }
    std::set<std::string> opened;
    for (const nlohmann::ordered_json& row : jsonLines(j.out)) {
        std::string path;
        if (row["path"].is_string()) {
            path = row["path"].get<std::string>();
        } else {
            ASSERT_TRUE(row["path"].is_array()) << row.dump();
            for (const auto& b : row["path"])
                path += static_cast<char>(b.get<int>());
        }
        EXPECT_EQ(zeltest::readFile(path), path.substr(folder.size() + 1)) << row.dump();
        opened.insert(path);
    }
    EXPECT_EQ(opened.size(), sizeof kOddNames / sizeof kOddNames[0]);
    // Not UTF-8: the byte values, as journalctl writes them.
    nlohmann::ordered_json bytes = nlohmann::ordered_json::array();
    for (const char c : folder + "/\xff\xfe.txt")
        bytes.push_back(static_cast<unsigned char>(c));
    const auto rows = jsonLines(tool.zel({"ls", "--json", folder + "/\xff*"}).out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["path"], bytes);
    // -0 stays as it is: the bytes themselves.
    Outcome z = tool.zel({"ls", "-0", folder + "/new*"});
    EXPECT_EQ(z.out, folder + "/new\nline.txt" + std::string(1, '\0') + folder + "/new\\nline.txt" +
                         std::string(1, '\0'));
}

// zel log shows lines on a terminal as less shows them, writes them as they are
// elsewhere, and keeps them whole in JSON; a line another account appended
// cannot drive the terminal.
TEST_F(ToolTest, LogLinesOnATerminalAsLessShowsThem) {
    struct Case {
        const char* line;
        const char* shown;
    } cases[] = {
        {"plain words", "plain words"},
        {"\x1b[2J", "^[[2J"},
        {"\x1b]0;owned\x07", "^[]0;owned^G"},
        {"\xc2\x9b"
         "K",
         "<U+009B>K"},
        {"\x9b"
         "K",
         "<9B>K"},
        {"bad \xff\xfe utf", "bad <FF><FE> utf"},
        {"del \x7f", "del ^?"},
        {"tab\tstays", "tab\tstays"},
        {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},
    };
    std::string log, shown;
    for (const Case& c : cases) {
        log += std::string("[Tue Nov 01 09:05:07 2022] Mirror TRACE: ") + c.line + "\n";
        shown += std::string("[Tue Nov 01 09:05:07 2022] Mirror TRACE: ") + c.shown + "\n";
    }
    zeltest::writeFile(tool.log(), log);
    Outcome t = runOnTerminal({"--log", tool.log(), "log", "-n", "100"});
    EXPECT_EQ(t.status, 0) << t.out;
    EXPECT_EQ(t.out, shown);
    EXPECT_EQ(tool.zel({"log", "-n", "100"}).out, log);
    Outcome j = tool.zel({"log", "--json"});
    const std::vector<nlohmann::ordered_json> rows = jsonLines(j.out);
    ASSERT_EQ(rows.size(), sizeof cases / sizeof cases[0]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string text;
        if (rows[i]["text"].is_string())
            text = rows[i]["text"].get<std::string>();
        else
            for (const auto& b : rows[i]["text"])
                text += static_cast<char>(b.get<int>());
        EXPECT_EQ(text, cases[i].line);
    }
    for (const char c : j.out) {
        const unsigned char b = static_cast<unsigned char>(c);
        EXPECT_TRUE(c == '\n' || (b >= 0x20 && b < 0x7f)) << "byte " << int(b);
    }
}

// A log that another account made 1 TiB long (sparse, a few KiB of disk) is
// read in pieces: the tail and the follower go on, and the overlong line is cut
// and said.
TEST_F(ToolTest, SparseTerabyteLogIsReadInPieces) {
    zeltest::writeFile(tool.log(), "[Tue Nov 01 09:05:07 2022] Mirror TRACE: before\n");
    const std::string out = tool.dir().join("follow.txt");
    Background follower({"--log", tool.log(), "log", "--follow", "--json"}, out);
    ASSERT_TRUE(follower.started());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    fs::resize_file(tool.log(), 1ull << 40);
    std::ofstream(tool.log(), std::ios::app)
        << "\n[Tue Nov 01 09:05:08 2022] Mirror TRACE: after\n";
    EXPECT_TRUE(waitFor([&] { return zeltest::readFile(out).find("after") != std::string::npos; }));
    follower.stop(0);
    EXPECT_NE(zeltest::readFile(out).find("was cut"), std::string::npos);

    Outcome tail = tool.zel({"log", "-n", "1"});
    EXPECT_EQ(tail.status, 0) << tail.err;
    EXPECT_EQ(tail.out, "[Tue Nov 01 09:05:08 2022] Mirror TRACE: after\n");
    Outcome cut = tool.zel({"log", "-n", "2"});
    EXPECT_EQ(cut.status, 0) << cut.err;
    EXPECT_NE(cut.err.find("a line longer than 65536 bytes was cut"), std::string::npos) << cut.err;
    EXPECT_LE(cut.out.size(), 65536u + 100u);
}

// --follow says what tail -F says: a truncation, a replacement, a removal and a
// return; every line written meanwhile arrives.
TEST_F(ToolTest, FollowSaysTruncatedReplacedAndGone) {
    const std::string stamp = "[Tue Nov 01 09:05:07 2022] Mirror TRACE: ";
    zeltest::writeFile(tool.log(), stamp + "start\n");
    const std::string out = tool.dir().join("follow.txt");
    Background follower({"--log", tool.log(), "log", "--follow"}, out);
    ASSERT_TRUE(follower.started());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    struct Step {
        const char* what;
        std::function<void()> act;
        const char* said;
    } steps[] = {
        {"truncated", [&] { zeltest::writeFile(tool.log(), stamp + "one\n"); }, "file truncated"},
        {"replaced",
         [&] {
             zeltest::writeFile(tool.log() + ".new", stamp + "two, and more text\n");
             fs::rename(tool.log() + ".new", tool.log());
         },
         "has been replaced; following new file"},
        {"removed", [&] { fs::remove(tool.log()); }, "has become inaccessible"},
        {"back", [&] { zeltest::writeFile(tool.log(), stamp + "three\n"); }, "has appeared"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_TRUE(waitFor([&] {
            return zeltest::readFile(out).find(s.said) != std::string::npos;
        })) << zeltest::readFile(out);
    }
    EXPECT_TRUE(waitFor([&] { return zeltest::readFile(out).find("three") != std::string::npos; }));
    follower.stop(0);
    const std::string seen = zeltest::readFile(out);
    for (const char* text : {"one", "two, and more text", "three"})
        EXPECT_NE(seen.find(stamp + text + "\n"), std::string::npos) << text << "\n" << seen;
}
#endif

// The older generation is read with --previous; zel log names a path and
// creates nothing.
TEST_F(ToolTest, PreviousGenerationIsReadWithAnOption) {
    zeltest::writeFile(tool.log() + ".001", "[Tue Nov 01 09:05:07 2022] Mirror TRACE: older\n");
    Outcome where = tool.zel({"log", "--previous"});
    EXPECT_EQ(where.out, tool.log() + ".001\n");
    Outcome older = tool.zel({"log", "--previous", "-n", "1"});
    EXPECT_EQ(older.status, 0) << older.err;
    EXPECT_EQ(older.out, "[Tue Nov 01 09:05:07 2022] Mirror TRACE: older\n");
    EXPECT_FALSE(zeltest::fileExists(tool.log()));
    expectOneErrorLine(tool.zel({"log", "--previous", "--follow"}), 2, "log: ");
}

#endif // ZEL_TOOL_PATH
