// The error log of a fleet, collected by a real agent: rsyslog's imfile follows the
// log that 4 writer processes fill across several rotations and forwards it over
// TCP to a second rsyslog, the collector. Both run in the foreground on the
// loopback address with the configurations shipped in packaging/rsyslog, started
// and stopped here. The collector must hold every message exactly once, a message
// with line ends inside as one record, in each writer's order.
#include "zel/Exception.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <dirent.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const int kWriters = 4;
// 4 x 42,000 lines of about 200 bytes: 34 MB, three rotations at 10,000,000 bytes.
const int kMessagesPerWriter = 42000;
// Every seventh message has line ends inside (three lines).
const int kMultiLineEvery = 7;
const char kPrefix[] = "Mirror TRACE: ";
const std::size_t kStampLength = 24;
const long long kRotateAbove = 10000000;

bool IsMultiLine(int n) {
    return n % kMultiLineEvery == 3;
}

// The text of message n of writer w, as written (line ends inside included).
std::string MessageText(int w, int n) {
    char head[64];
    std::snprintf(head, sizeof head, "fleet w%d n%06d", w, n);
    std::string text = head;
    if (IsMultiLine(n)) {
        text += " multi-line, first of three lines\n    second line of ";
        text += head;
        text += "\n    third line of ";
        text += head;
        text += " ends here";
    } else {
        // Padding to about 200 bytes a line, so 10 MB are a few seconds of writing.
        text += " single line ";
        text.append(150, static_cast<char>('a' + (n % 26)));
    }
    return text;
}

} // namespace

ZEL_TEST_CHILD(FleetWriter) {
    if (args.size() != 2)
        return 2;
    zel::Exception::SetErrorLogLocation(args[0].c_str());
    const int w = std::atoi(args[1].c_str());
    for (int n = 0; n < kMessagesPerWriter; ++n)
        zel::Exception::trace("%s", MessageText(w, n).c_str());
    return 0;
}

#ifdef _WIN32

TEST(FleetLogTest, RsyslogCollectsEveryMessageOnceAcrossRotations) {
    GTEST_SKIP() << "rsyslog is a Linux agent; the Windows log is read by zel log --follow "
                    "or an agent of that platform, not run here";
}

#else

namespace {

std::string FindRsyslogd() {
    for (const char* candidate :
         {"/usr/sbin/rsyslogd", "/sbin/rsyslogd", "/usr/local/sbin/rsyslogd"})
        if (::access(candidate, X_OK) == 0)
            return candidate;
    return std::string();
}

// A free TCP port on the loopback address.
int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<unsigned short>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// Replaces every occurrence of `from`; false when there was none.
bool ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    bool found = false;
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
        found = true;
    }
    return found;
}

// One rsyslogd in the foreground, with its own configuration and work folder.
class Rsyslogd {
public:
    Rsyslogd(std::string binary, std::string folder) : m_binary(binary), m_folder(folder) {}
    ~Rsyslogd() { Stop(); }

    const std::string& output() const { return m_output; }
    std::string Output() const { return zeltest::readFile(m_output); }

    // Writes the configuration: global settings of this instance, then `body`.
    void Configure(const std::string& body) {
        ::mkdir(m_folder.c_str(), 0700);
        ::mkdir((m_folder + "/work").c_str(), 0700);
        m_conf = m_folder + "/rsyslog.conf";
        m_output = m_folder + "/rsyslogd.out";
        zeltest::writeFile(m_conf, "global(workDirectory=\"" + m_folder +
                                       "/work\" maxMessageSize=\"64k\")\n" + body);
    }

    // rsyslogd -N1: the configuration is valid. The output tells why not.
    bool Check(std::string& why) {
        std::string command = m_binary + " -N1 -f " + m_conf + " > " + m_folder + "/check.out 2>&1";
        int status = std::system(command.c_str());
        why = zeltest::readFile(m_folder + "/check.out");
        return status == 0;
    }

    bool Start() {
        m_pid = ::fork();
        if (m_pid == 0) {
            int out = ::open(m_output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out >= 0) {
                ::dup2(out, 1);
                ::dup2(out, 2);
            }
            std::string pidFile = m_folder + "/rsyslogd.pid";
            ::execl(m_binary.c_str(), m_binary.c_str(), "-n", "-f", m_conf.c_str(), "-i",
                    pidFile.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return m_pid > 0;
    }

    bool Running() {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        return true;
    }

    // SIGTERM, then SIGKILL after 10 s.
    void Stop() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            ::usleep(50 * 1000);
        }
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    std::string m_binary, m_folder, m_conf, m_output;
    pid_t m_pid = -1;
};

// What the collector holds, against what was written.
struct Tally {
    long long records = 0;                 // records of the writers
    long long exact = 0;                   // records that are one whole message, exactly
    long long duplicates = 0;              // records of a message seen before
    long long split = 0;                   // records that are not a whole message
    long long outOfOrder = 0;              // messages behind a later one of the same writer
    long long missing = 0;                 // messages not received
    long long missingLastOfGeneration = 0; // of them, in the tail of a rotated generation
};

// The message of one collector line: "<host> <message>", line ends as "#012".
Tally Count(const std::vector<std::string>& lines,
            const std::set<std::pair<int, int>>& lastOfRotated,
            std::vector<std::string>& problems) {
    Tally t;
    std::vector<std::vector<int>> seen(kWriters, std::vector<int>(kMessagesPerWriter, 0));
    std::vector<int> last(kWriters, -1);
    auto note = [&problems](const std::string& what) {
        if (problems.size() < 10)
            problems.push_back(what);
    };
    for (const std::string& line : lines) {
        std::size_t at = line.find(' ');
        std::string record = at == std::string::npos ? line : line.substr(at + 1);
        if (record.find("fleet w") == std::string::npos)
            continue; // the start marker
        ++t.records;
        std::string text = record;
        ReplaceAll(text, "#012", "\n");
        int w = -1, n = -1;
        bool whole = text.size() > kStampLength + 3 && text[0] == '[' &&
                     text.compare(kStampLength + 1, 2, "] ") == 0 &&
                     text.compare(kStampLength + 3, sizeof kPrefix - 1, kPrefix) == 0;
        if (whole) {
            std::string body = text.substr(kStampLength + 3 + sizeof kPrefix - 1);
            whole = std::sscanf(body.c_str(), "fleet w%d n%d", &w, &n) == 2 && w >= 0 &&
                    w < kWriters && n >= 0 && n < kMessagesPerWriter && body == MessageText(w, n);
        }
        if (!whole) {
            ++t.split;
            note("not one whole message: " + record.substr(0, 160));
            continue;
        }
        ++t.exact;
        if (seen[w][n]++ > 0) {
            ++t.duplicates;
            note("again: " + record.substr(0, 80));
        }
        if (n < last[w]) {
            ++t.outOfOrder;
            note("out of order: " + record.substr(0, 80));
        }
        last[w] = std::max(last[w], n);
    }
    for (int w = 0; w < kWriters; ++w)
        for (int n = 0; n < kMessagesPerWriter; ++n)
            if (seen[w][n] == 0) {
                ++t.missing;
                if (lastOfRotated.count({w, n}) != 0)
                    ++t.missingLastOfGeneration;
                else
                    note("missing: w" + std::to_string(w) + " n" + std::to_string(n));
            }
    return t;
}

// The messages at the end of a rotated generation that the agent may lose (see
// the expectations at the end of the test).
const int kTail = 8;

// Keeps every generation of the log open while the writers run (a descriptor per
// file that held the log's name), so that the last message of each rotated
// generation is known afterwards.
class GenerationWatch {
public:
    explicit GenerationWatch(std::string path) : m_path(std::move(path)) {
        m_thread = std::thread([this] {
            while (!m_stop) {
                int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
                struct stat st;
                if (fd >= 0 && ::fstat(fd, &st) == 0 && m_inodes.insert(st.st_ino).second)
                    m_fds.push_back(fd);
                else if (fd >= 0)
                    ::close(fd);
                ::usleep(500);
            }
        });
    }
    ~GenerationWatch() {
        Stop();
        for (int fd : m_fds)
            ::close(fd);
    }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // "w<k> n<n>" of the last kTail messages of every generation but the live one.
    std::set<std::pair<int, int>> LastOfRotated() const {
        std::set<std::pair<int, int>> last;
        for (std::size_t g = 0; g + 1 < m_fds.size(); ++g) {
            std::string text;
            char buffer[1 << 16];
            ssize_t got;
            off_t at = 0;
            while ((got = ::pread(m_fds[g], buffer, sizeof buffer, at)) > 0) {
                text.append(buffer, static_cast<std::size_t>(got));
                at += got;
            }
            std::size_t end = text.size();
            for (int k = 0; k < kTail && end > 0; ++k) {
                std::size_t start = text.rfind("\n[", end - 1);
                int w = -1, n = -1;
                if (start == std::string::npos)
                    break;
                if (std::sscanf(text.c_str() + start + 1 + kStampLength + 3 + sizeof kPrefix - 1,
                                "fleet w%d n%d", &w, &n) == 2)
                    last.insert({w, n});
                end = start;
            }
        }
        return last;
    }
    std::size_t Generations() const { return m_fds.size(); }

private:
    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::set<ino_t> m_inodes;
    std::vector<int> m_fds;
};

long long CountLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    long long count = 0;
    std::string line;
    while (std::getline(in, line))
        ++count;
    return count;
}

} // namespace

class FleetLogTest : public ::testing::Test {
protected:
    zeltest::TempDir dir;
};

TEST_F(FleetLogTest, RsyslogCollectsEveryMessageOnceAcrossRotations) {
    const std::string rsyslogd = FindRsyslogd();
    if (rsyslogd.empty())
        GTEST_SKIP() << "rsyslogd not found (Debian package rsyslog; scripts/install-deps.sh "
                        "--all installs it)";

    const std::string shipped = std::string(ZEL_SOURCE_DIR) + "/packaging/rsyslog/";
    std::string agentConf = zeltest::readFile(shipped + "zel-agent.conf");
    std::string collectorConf = zeltest::readFile(shipped + "zel-collector.conf");
    ASSERT_FALSE(agentConf.empty());
    ASSERT_FALSE(collectorConf.empty());

    const std::string logFolder = dir.join("log");
    const std::string received = dir.join("received");
    ASSERT_EQ(::mkdir(logFolder.c_str(), 0755), 0);
    const std::string log = logFolder + "/ZELError.txt";
    const int port = FreePort();
    ASSERT_GT(port, 0);

    // The shipped files with this test's paths, and the collector on loopback only.
    ASSERT_TRUE(ReplaceAll(agentConf, "/var/lib/Corvane/ZELError.txt", log));
    ASSERT_TRUE(ReplaceAll(agentConf, "collector.example", "127.0.0.1"));
    ASSERT_TRUE(ReplaceAll(agentConf, "port=\"10514\"", "port=\"" + std::to_string(port) + "\""));
    ASSERT_TRUE(ReplaceAll(collectorConf, "/var/log/zelbase", received));
    ASSERT_TRUE(ReplaceAll(collectorConf, "port=\"10514\"",
                           "address=\"127.0.0.1\" port=\"" + std::to_string(port) + "\""));

    Rsyslogd collector(rsyslogd, dir.join("collector"));
    Rsyslogd agent(rsyslogd, dir.join("agent"));
    collector.Configure(collectorConf);
    agent.Configure(agentConf);
    std::string why;
    ASSERT_TRUE(collector.Check(why)) << why;
    ASSERT_TRUE(agent.Check(why)) << why;

    const auto started = std::chrono::steady_clock::now();
    auto seconds = [&started] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };

    ASSERT_TRUE(collector.Start());
    while (!Accepts(port) && collector.Running() && seconds() < 20)
        ::usleep(50 * 1000);
    if (!collector.Running() || !Accepts(port))
        GTEST_SKIP() << "rsyslogd cannot start here: " << collector.Output();
    ASSERT_TRUE(agent.Start());

    // The pipeline is up when a marker line has gone all the way through.
    zel::Exception::SetErrorLogLocation(log.c_str());
    zel::Exception::trace("start marker");
    // One file per machine, named as rsyslog spells this machine's name.
    std::string collected;
    while (seconds() < 60 && agent.Running()) {
        if (DIR* folder = ::opendir(received.c_str())) {
            while (dirent* entry = ::readdir(folder))
                if (entry->d_name[0] != '.')
                    collected = received + "/" + entry->d_name;
            ::closedir(folder);
        }
        if (!collected.empty() &&
            zeltest::readFile(collected).find("start marker") != std::string::npos)
            break;
        ::usleep(100 * 1000);
    }
    ASSERT_TRUE(agent.Running()) << agent.Output();
    ASSERT_NE(zeltest::readFile(collected).find("start marker"), std::string::npos)
        << "the marker did not reach the collector in 60 s\nagent: " << agent.Output()
        << "\ncollector: " << collector.Output();
    const double ready = seconds();

    // The writers: processes of this program, each through the library.
    GenerationWatch generations(log);
    std::vector<std::unique_ptr<zeltest::ChildProcess>> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.push_back(std::make_unique<zeltest::ChildProcess>(
            "FleetWriter", std::vector<std::string>{log, std::to_string(w)}));
    for (auto& writer : writers)
        ASSERT_EQ(writer->wait(), 0);
    const double written = seconds();
    generations.Stop();

    // What was written: physical lines and bytes (the stamp is always 24 characters).
    long long messages = 0, physicalLines = 0, bytes = 0;
    for (int w = 0; w < kWriters; ++w)
        for (int n = 0; n < kMessagesPerWriter; ++n) {
            std::string text = MessageText(w, n);
            ++messages;
            physicalLines += IsMultiLine(n) ? 3 : 1;
            bytes += 1 + kStampLength + 2 + (sizeof kPrefix - 1) + text.size() + 1;
        }
    const long long marker = 1 + kStampLength + 2 + (sizeof kPrefix - 1) + 12 + 1;
    const long long current = zeltest::fileSize(log);
    // Each rotated generation is just over the limit.
    const long long rotations = (bytes + marker - current) / kRotateAbove;
    EXPECT_GE(rotations, 3);
    EXPECT_EQ(generations.Generations(), static_cast<std::size_t>(rotations + 1));

    // Wait until the collector holds a record per message (or stops growing).
    long long records = 0, before = -1;
    double still = seconds();
    while (seconds() < written + 180) {
        records = CountLines(collected) - 1; // less the marker
        if (records >= messages)
            break;
        if (records != before) {
            before = records;
            still = seconds();
        } else if (seconds() - still > (records + rotations >= messages ? 3 : 20)) {
            break; // nothing new for a while
        }
        ::usleep(200 * 1000);
    }
    // Anything beyond the count (duplicates) has had its chance to arrive too.
    ::usleep(1500 * 1000);
    const double collectedAt = seconds();

    std::vector<std::string> problems;
    const std::set<std::pair<int, int>> lastOfRotated = generations.LastOfRotated();
    Tally t = Count(zeltest::readLines(collected), lastOfRotated, problems);

    agent.Stop();
    collector.Stop();

    std::ostringstream figures;
    figures << "writers " << kWriters << ", messages written " << messages << " (" << physicalLines
            << " lines, " << bytes << " bytes, " << rotations << " rotations), records received "
            << t.records << ", whole " << t.exact << ", duplicates " << t.duplicates << ", split "
            << t.split << ", out of order " << t.outOfOrder << ", missing " << t.missing
            << " (of them in the last " << kTail
            << " messages of a rotated generation: " << t.missingLastOfGeneration << ")"
            << "; pipeline up " << ready << " s, written " << (written - ready)
            << " s, all collected " << (collectedAt - ready) << " s after the first line";
    std::printf("fleet figures: %s\n", figures.str().c_str());
    RecordProperty("figures", figures.str());
    for (const std::string& p : problems)
        ADD_FAILURE() << p;
    // rsyslog 8.2302's imfile drops the message it holds back (waiting for the
    // next start of a message) when the file it reads is renamed away, and at
    // times a few lines before it: messages at the very end of a rotated
    // generation, which are in that file on disk. That is the only loss that
    // passes here, and the figures count it.
    EXPECT_EQ(t.missing - t.missingLastOfGeneration, 0);
    EXPECT_LE(t.missingLastOfGeneration, rotations * kTail);
    EXPECT_EQ(t.duplicates, 0);
    EXPECT_EQ(t.split, 0);
    EXPECT_EQ(t.outOfOrder, 0);
    EXPECT_EQ(t.records + t.missing, messages);
}

#endif
