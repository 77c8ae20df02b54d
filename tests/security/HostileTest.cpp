// Attacks by another account on the shared objects and the error log. A process
// of the test program (root) uses the library; a forked process that has become
// `nobody` attacks. What must hold: no crash, no hang (every wait is bounded), no
// write outside the object or log asked for, no lost line or generation.
// Linux only, and only as root (CI runs as root); skipped elsewhere.
#include "zel/Exception.h"
#include "zel/Security.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#ifndef _WIN32
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <sched.h>
#include <unistd.h>

#include "platform/posix/SharedFiles.h"
#endif

using namespace zel::util;

namespace {

#ifndef _WIN32

using Clock = std::chrono::steady_clock;

std::string UniqueName(const char* what) {
    static int counter = 0;
    return std::string("hostile.") + what + "." + std::to_string(getpid()) + "." +
           std::to_string(++counter);
}

// Runs `work` in a forked process and returns its exit code; a crash or a
// process still running after `limitMs` is reported as a negative code.
int Isolated(const std::function<int()>& work, int limitMs = 10000) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return -100;
    if (pid == 0) {
        int rc = 99;
        try {
            rc = work();
        } catch (...) {
            rc = 98;
        }
        _exit(rc);
    }
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (Clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1000; // hung
        }
        usleep(2000);
    }
    if (WIFSIGNALED(status))
        return -WTERMSIG(status); // crashed
    return WEXITSTATUS(status);
}

bool BecomeNobody() {
    struct passwd* pw = getpwnam("nobody");
    uid_t uid = pw != nullptr ? pw->pw_uid : 65534;
    gid_t gid = pw != nullptr ? pw->pw_gid : 65534;
    return setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0 && geteuid() == uid;
}

// Runs `attack` as nobody in a forked process; its exit code (negative: crashed
// or hung).
int AsNobody(const std::function<int()>& attack, int limitMs = 10000) {
    return Isolated(
        [&] {
            if (!BecomeNobody())
                return 90;
            return attack();
        },
        limitMs);
}

// A temporary folder every account may write, as /tmp or /var/tmp.
class SharedFolder {
public:
    SharedFolder() { chmod(m_dir.path().c_str(), 01777); }
    std::string join(const std::string& name) const { return m_dir.join(name); }

private:
    zeltest::TempDir m_dir;
};

// A file only root may read or write, holding `text`: what an attacker would
// like root to write into.
std::string RootOnlyFile(const SharedFolder& folder, const char* name, const char* text) {
    std::string path = folder.join(name);
    zeltest::writeFile(path, text);
    chmod(path.c_str(), 0600);
    return path;
}

int Milliseconds(Clock::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Two pipes: the attacker says when it is ready, root says when it may stop.
class Signals {
public:
    Signals() {
        if (pipe(m_ready) != 0 || pipe(m_stop) != 0)
            std::abort();
    }
    ~Signals() {
        for (int fd : {m_ready[0], m_ready[1], m_stop[0], m_stop[1]})
            close(fd);
    }
    bool ready() { return write(m_ready[1], "r", 1) == 1; }
    bool waitReady() {
        char c;
        return read(m_ready[0], &c, 1) == 1;
    }
    bool stop() { return write(m_stop[1], "s", 1) == 1; }
    bool waitStop() {
        char c;
        return read(m_stop[0], &c, 1) == 1;
    }

private:
    int m_ready[2];
    int m_stop[2];
};

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to attack as another account";
    }
};

#else

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_SKIP() << "the attacks are those of another account on Linux; Windows keeps the "
                        "objects' security descriptor";
    }
};

#endif

} // namespace

// ---------------------------------------------------------------- named mutex

class HostileMutex : public Hostile {};

#ifndef _WIN32

namespace {

std::string MutexFile(const std::string& name) {
    return "/dev/shm/zel.mutex." + name;
}

// What nobody does to the mutex's file while root owns it.
struct OwnedAttack {
    const char* what;
    std::function<int(const std::string& file)> attack;
    int afterRelease; // what root's next wait must give
};

int WriteInto(const std::string& file, const void* data, std::size_t n, off_t at) {
    int fd = open(file.c_str(), O_RDWR);
    if (fd < 0)
        return 10;
    bool ok = pwrite(fd, data, n, at) == static_cast<ssize_t>(n);
    close(fd);
    return ok ? 0 : 11;
}

} // namespace

TEST_F(HostileMutex, OwnedMutexSurvivesWhatNobodyDoesToItsFile) {
    static const unsigned char pointers[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                                               0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    const std::vector<OwnedAttack> cases = {
        {"16 bytes written over the start",
         [](const std::string& f) { return WriteInto(f, pointers, sizeof pointers, 0); },
         AccessableWaitAcquired},
        {"the owned mark forged after the release",
         [](const std::string& f) { return WriteInto(f, "1111", 4, 0); }, AccessableWaitAcquired},
        {"truncated to 0 bytes",
         [](const std::string& f) { return truncate(f.c_str(), 0) == 0 ? 0 : 12; },
         AccessableWaitAcquired},
        {"grown to 1 GiB",
         [](const std::string& f) { return truncate(f.c_str(), 1LL << 30) == 0 ? 0 : 13; },
         AccessableWaitAcquired},
        {"locks tried on every byte",
         [](const std::string& f) {
             int fd = open(f.c_str(), O_RDWR);
             struct flock fl {};
             fl.l_type = F_WRLCK;
             fl.l_len = 0;
             // The owner's lock makes this fail; it must not wait.
             int rc = fcntl(fd, F_OFD_SETLK, &fl) == 0 ? 14 : 0;
             close(fd);
             return rc;
         },
         AccessableWaitAcquired},
        {"unlinked by name (refused: the name is root's)",
         [](const std::string& f) { return unlink(f.c_str()) == 0 ? 15 : 0; },
         AccessableWaitAcquired},
    };
    for (const OwnedAttack& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = UniqueName("owned");
        int rc = Isolated([&] {
            void* m = ObtainAccessableMutex(1, name.c_str(), nullptr);
            if (m == nullptr)
                return 1;
            if (AsNobody([&] { return c.attack(MutexFile(name)); }) != 0)
                return 2;
            // Nobody's process has ended: the mutex is still root's, usable as ever.
            if (!ReleaseAccessableMutex(m))
                return 3;
            if (WaitAccessableMutex(m, 1000) != c.afterRelease)
                return 4;
            if (WaitAccessableMutex(m, 0) != AccessableWaitAcquired) // recursive
                return 5;
            if (!ReleaseAccessableMutex(m) || !ReleaseAccessableMutex(m))
                return 6;
            if (ReleaseAccessableMutex(m))
                return 7;
            return CloseAccessableHandle(m) ? 0 : 8;
        });
        EXPECT_EQ(rc, 0);
    }
}

namespace {

// What nobody puts at the mutex's name before root asks for it.
struct Squat {
    const char* what;
    std::function<int(const std::string& file, const std::string& target)> plant;
    bool usable; // root gets a working mutex (else a logged failure, at once)
};

} // namespace

TEST_F(HostileMutex, SquattedNamesNeitherStallNorRedirect) {
    SharedFolder folder;
    const std::vector<Squat> cases = {
        {"an empty file of nobody's, 0644",
         [](const std::string& f, const std::string&) {
             int fd = open(f.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
             return fd >= 0 && close(fd) == 0 ? 0 : 20;
         },
         true},
        {"an empty file of nobody's, 0666",
         [](const std::string& f, const std::string&) {
             int fd = open(f.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
             return fd >= 0 && fchmod(fd, 0666) == 0 && close(fd) == 0 ? 0 : 21;
         },
         true},
        {"a file of garbage",
         [](const std::string& f, const std::string&) {
             int fd = open(f.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
             bool ok = fd >= 0 && fchmod(fd, 0666) == 0 && write(fd, "\x01\xFFgarbage", 9) == 9;
             close(fd);
             return ok ? 0 : 22;
         },
         true},
        {"a symbolic link to a root file",
         [](const std::string& f, const std::string& t) {
             return symlink(t.c_str(), f.c_str()) == 0 ? 0 : 23;
         },
         false},
        {"a pipe",
         [](const std::string& f, const std::string&) {
             return mkfifo(f.c_str(), 0666) == 0 ? 0 : 24;
         },
         false},
        {"a folder",
         [](const std::string& f, const std::string&) {
             return mkdir(f.c_str(), 0777) == 0 ? 0 : 25;
         },
         false},
    };
    const std::string target = RootOnlyFile(folder, "target", "root's data");
    for (const Squat& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = UniqueName("squat");
        const std::string file = MutexFile(name);
        ASSERT_EQ(AsNobody([&] { return c.plant(file, target); }), 0);
        const auto start = Clock::now();
        int rc = Isolated([&] {
            int created = -1;
            void* m = ObtainAccessableMutex(1, name.c_str(), &created);
            if (!c.usable)
                return m == nullptr ? 0 : 30;
            if (m == nullptr || created != 0)
                return 31;
            if (WaitAccessableMutex(m, 1000) > AccessableWaitAbandoned)
                return 32;
            ReleaseAccessableMutex(m);
            return CloseAccessableHandle(m) ? 0 : 33;
        });
        EXPECT_EQ(rc, 0);
        EXPECT_LT(Milliseconds(start), 1500);
        EXPECT_EQ(zeltest::readFile(target), "root's data");
        // Nobody's leftovers are root's to clear.
        if (rmdir(file.c_str()) != 0)
            unlink(file.c_str());
    }
}

TEST_F(HostileMutex, HeldByNobodyIsADenialWithBoundedWaits) {
    const std::string name = UniqueName("held");
    void* m = ObtainAccessableMutex(0, name.c_str(), nullptr);
    ASSERT_NE(m, nullptr);
    Signals signals;
    // Nobody opens the file and holds the owner's lock until told to stop.
    std::thread attacker([&] {
        AsNobody([&] {
            int fd = open(MutexFile(name).c_str(), O_RDWR);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_start = 0;
            fl.l_len = 1;
            if (fd < 0 || fcntl(fd, F_OFD_SETLK, &fl) != 0)
                return 40;
            return signals.ready() && signals.waitStop() ? 0 : 41;
        });
    });
    ASSERT_TRUE(signals.waitReady());
    auto start = Clock::now();
    EXPECT_EQ(WaitAccessableMutex(m, 200), AccessableWaitTimeout);
    EXPECT_LT(Milliseconds(start), 1000);
    EXPECT_EQ(WaitAccessableMutex(m, 0), AccessableWaitTimeout);
    ASSERT_TRUE(signals.stop());
    attacker.join();
    // Nobody's process is gone, and with it its lock.
    EXPECT_LE(WaitAccessableMutex(m, 1000), AccessableWaitAbandoned);
    EXPECT_TRUE(ReleaseAccessableMutex(m));
    EXPECT_TRUE(CloseAccessableHandle(m));
}

TEST_F(HostileMutex, ACreatorKilledAtAnyPointLeavesAUsableName) {
    // Creators killed after random short times, racing each other.
    const std::string name = UniqueName("killed");
    for (int round = 0; round < 20; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            void* m = ObtainAccessableMutex(1, name.c_str(), nullptr);
            (void)m;
            _exit(0);
        }
        usleep(static_cast<useconds_t>((round * 37) % 400));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    const auto start = Clock::now();
    void* m = ObtainAccessableMutex(0, name.c_str(), nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_LE(WaitAccessableMutex(m, 1000), AccessableWaitAbandoned);
    EXPECT_LT(Milliseconds(start), 1000);
    EXPECT_TRUE(ReleaseAccessableMutex(m));
    EXPECT_TRUE(CloseAccessableHandle(m));
}

#endif

// ---------------------------------------------------------------- file mapping

class HostileMapping : public Hostile {};

#ifndef _WIN32

namespace {

// The record a mapping name holds, as the library writes it.
using Record = zel::platform::shared::MappingRecord;

std::string RecordFile(const std::string& name) {
    return "/dev/shm/zel.filemap." + name;
}

int PlantRecord(const std::string& name, const std::string& target, mode_t mode) {
    struct stat st;
    if (stat(target.c_str(), &st) != 0)
        return 50;
    Record r;
    std::memset(&r, 0, sizeof r);
    r.magic = zel::platform::shared::kMappingRecordMagic;
    r.protection = AccessablePageReadWrite;
    r.device = st.st_dev;
    r.inode = st.st_ino;
    r.size = 4096;
    std::strncpy(r.path, target.c_str(), sizeof r.path - 1);
    int fd = open(RecordFile(name).c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
    bool ok = fd >= 0 && fchmod(fd, mode) == 0 && write(fd, &r, sizeof r) == sizeof r;
    close(fd);
    return ok ? 0 : 51;
}

struct Forgery {
    const char* what;
    std::function<int(const std::string& name, const std::string& target, const std::string& own)>
        plant;
    bool opened; // root gets nobody's own file (the object it asked for)
};

} // namespace

TEST_F(HostileMapping, ForgedRecordsNeverChooseRootsFile) {
    SharedFolder folder;
    const std::string target = RootOnlyFile(folder, "target", "root's data");
    chmod(target.c_str(), 0644);
    const std::string own = folder.join("nobodys.bin");
    const std::vector<Forgery> cases = {
        {"a record naming root's 0644 file",
         [](const std::string& n, const std::string& t, const std::string&) {
             return PlantRecord(n, t, 0644);
         },
         false},
        {"a record others may write",
         [](const std::string& n, const std::string&, const std::string& o) {
             return PlantRecord(n, o, 0666);
         },
         false},
        {"a record of garbage",
         [](const std::string& n, const std::string&, const std::string&) {
             int fd = open(RecordFile(n).c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
             bool ok = fd >= 0 && write(fd, "garbage", 7) == 7;
             close(fd);
             return ok ? 0 : 52;
         },
         false},
        {"a symbolic link to a record",
         [](const std::string& n, const std::string& t, const std::string&) {
             return symlink(t.c_str(), RecordFile(n).c_str()) == 0 ? 0 : 53;
         },
         false},
        {"a record naming nobody's own file",
         [](const std::string& n, const std::string&, const std::string& o) {
             return PlantRecord(n, o, 0644);
         },
         true},
    };
    for (const Forgery& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = UniqueName("forged");
        unlink(own.c_str());
        ASSERT_EQ(AsNobody([&] {
                      zeltest::writeFile(own, std::string(4096, 'n'));
                      chmod(own.c_str(), 0644);
                      return c.plant(name, target, own);
                  }),
                  0);
        zeltest::TempDir logDir;
        const std::string log = logDir.join("log.txt");
        int rc = Isolated([&] {
            zel::Exception::SetErrorLogLocation(log.c_str());
            void* f = nullptr;
            try {
                f = ObtainAccessableFileMapping(
                    folder.join("roots.bin").c_str(), AccessablePageReadWrite,
                    AccessableMapRead | AccessableMapWrite, 0, 4096, name.c_str(), nullptr);
            } catch (zel::Exception&) {
                return c.opened ? 60 : 0; // "Open failed": refused
            }
            if (f == nullptr)
                return 61;
            char* view = static_cast<char*>(MapAccessableView(f, AccessableMapWrite, 0, 0));
            if (view != nullptr) {
                view[0] = 'R';
                UnmapAccessableView(view);
            }
            CloseAccessableHandle(f);
            return c.opened ? 0 : 62;
        });
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(zeltest::readFile(target), "root's data");
        if (!c.opened) {
            EXPECT_NE(zeltest::readFile(log).find("ObtainAccessableFileMapping: refused the "
                                                  "mapping " +
                                                  name),
                      std::string::npos)
                << zeltest::readFile(log);
        }
        unlink(RecordFile(name).c_str());
    }
}

TEST_F(HostileMapping, RootsRecordCannotBeRewrittenByNobody) {
    SharedFolder folder;
    const std::string name = UniqueName("record");
    void* f = ObtainAccessableFileMapping(folder.join("data.bin").c_str(), AccessablePageReadWrite,
                                          AccessableMapRead | AccessableMapWrite, 0, 4096,
                                          name.c_str(), nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(AsNobody([&] {
                  const std::string r = RecordFile(name);
                  if (open(r.c_str(), O_RDWR) >= 0 || truncate(r.c_str(), 0) == 0 ||
                      unlink(r.c_str()) == 0 || chmod(r.c_str(), 0666) == 0)
                      return 70;
                  return 0;
              }),
              0);
    EXPECT_TRUE(CloseAccessableHandle(f));
}

#endif

// ---------------------------------------------------------------- error log

class HostileLog : public Hostile {
protected:
#ifndef _WIN32
    void SetUp() override {
        Hostile::SetUp();
        if (IsSkipped())
            return;
        m_log = m_folder.join("ZELError.txt");
        m_older = m_log + ".001";
        m_target = RootOnlyFile(m_folder, "target", "root's data");
        zel::Exception::SetErrorLogLocation(m_log.c_str());
    }
    void TearDown() override {
        zel::Exception::SetErrorLogLocation("");
    }

    // Fills the log to just over the rotation threshold.
    void FillLog() const {
        zeltest::writeFile(m_log, std::string(10000001, 'x'));
    }

    SharedFolder m_folder;
    std::string m_log, m_older, m_target;
#endif
};

#ifndef _WIN32

namespace {

struct LogSquat {
    const char* what;
    std::function<int(const std::string& log, const std::string& target)> plant;
};

} // namespace

TEST_F(HostileLog, WhatSquatsTheLogNameIsMovedAsideNeverWrittenThrough) {
    const std::vector<LogSquat> cases = {
        {"a symbolic link to a root file",
         [](const std::string& l, const std::string& t) {
             return symlink(t.c_str(), l.c_str()) == 0 ? 0 : 80;
         }},
        {"a pipe", [](const std::string& l,
                      const std::string&) { return mkfifo(l.c_str(), 0666) == 0 ? 0 : 81; }},
        {"a folder", [](const std::string& l,
                        const std::string&) { return mkdir(l.c_str(), 0777) == 0 ? 0 : 82; }},
        {"a folder that is not empty",
         [](const std::string& l, const std::string&) {
             return mkdir(l.c_str(), 0777) == 0 && mkdir((l + "/x").c_str(), 0777) == 0 ? 0 : 83;
         }},
    };
    for (const LogSquat& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(AsNobody([&] { return c.plant(m_log, m_target); }), 0);
        const auto start = Clock::now();
        zel::Exception::error("after the squat");
        EXPECT_LT(Milliseconds(start), 1000);
        EXPECT_EQ(zeltest::readFile(m_target), "root's data");
        std::vector<std::string> lines = zeltest::readLines(m_log);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find("Mirror Error: after the squat"), std::string::npos);
        EXPECT_NE(lines[1].find("Mirror Error: Error log: "), std::string::npos);
        EXPECT_NE(lines[1].find("was moved to " + m_log + ".blocked"), std::string::npos)
            << lines[1];
        unlink(m_log.c_str());
        std::filesystem::remove_all(m_log + ".blocked");
    }
}

TEST_F(HostileLog, APipeWithAReaderNeverBlocksTheProcess) {
    Signals signals;
    // Nobody plants a pipe and keeps it open for reading, never reading.
    std::thread attacker([&] {
        AsNobody([&] {
            if (mkfifo(m_log.c_str(), 0666) != 0)
                return 84;
            int fd = open(m_log.c_str(), O_RDONLY | O_NONBLOCK);
            if (fd < 0 || !signals.ready())
                return 85;
            return signals.waitStop() ? 0 : 86;
        });
    });
    ASSERT_TRUE(signals.waitReady());
    const auto start = Clock::now();
    std::atomic<bool> other{false};
    std::thread([&] {
        zel::Exception::SetErrorLogLocation(m_log.c_str());
        other = true;
    }).join();
    for (int i = 0; i < 3; ++i)
        zel::Exception::error("line %d", i);
    EXPECT_TRUE(other.load());
    EXPECT_LT(Milliseconds(start), 1000);
    ASSERT_TRUE(signals.stop());
    attacker.join();
}

TEST_F(HostileLog, HardLinkAtTheLogNameIsNotAppendedTo) {
    // Planted as root: nobody can do it where fs.protected_hardlinks is 1.
    ASSERT_EQ(link(m_target.c_str(), m_log.c_str()), 0);
    zel::Exception::error("not into the target");
    EXPECT_EQ(zeltest::readFile(m_target), "root's data");
    std::vector<std::string> lines = zeltest::readLines(m_log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("not into the target"), std::string::npos);
}

TEST_F(HostileLog, LinksRacingRotationsNeverWin) {
    // Nobody plants links at the log name as fast as it can while root rotates.
    int stopPipe[2];
    ASSERT_EQ(pipe(stopPipe), 0);
    fcntl(stopPipe[0], F_SETFL, O_NONBLOCK);
    std::thread attacker([&] {
        AsNobody(
            [&] {
                char c;
                while (read(stopPipe[0], &c, 1) != 1)
                    if (symlink(m_target.c_str(), m_log.c_str()) != 0)
                        sched_yield();
                return 0;
            },
            20000);
    });
    for (int round = 0; round < 30; ++round) {
        unlink(m_log.c_str());
        int fd = open(m_log.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            continue; // the attacker's link is there: the next line moves it aside
        bool sized = ftruncate(fd, 10000001) == 0;
        close(fd);
        ASSERT_TRUE(sized);
        zel::Exception::error("rotation %d", round);
    }
    ASSERT_EQ(write(stopPipe[1], "x", 1), 1);
    attacker.join();
    close(stopPipe[0]);
    close(stopPipe[1]);
    EXPECT_EQ(zeltest::readFile(m_target), "root's data");
}

TEST_F(HostileLog, SquattedOlderGenerationDoesNotStopRotation) {
    const std::vector<LogSquat> cases = {
        {"a folder", [](const std::string& o,
                        const std::string&) { return mkdir(o.c_str(), 0777) == 0 ? 0 : 86; }},
        {"a folder that is not empty",
         [](const std::string& o, const std::string&) {
             return mkdir(o.c_str(), 0777) == 0 && mkdir((o + "/x").c_str(), 0777) == 0 ? 0 : 87;
         }},
        {"a symbolic link to a root file",
         [](const std::string& o, const std::string& t) {
             return symlink(t.c_str(), o.c_str()) == 0 ? 0 : 88;
         }},
        {"a pipe", [](const std::string& o,
                      const std::string&) { return mkfifo(o.c_str(), 0666) == 0 ? 0 : 89; }},
    };
    for (const LogSquat& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(AsNobody([&] { return c.plant(m_older, m_target); }), 0);
        FillLog();
        zel::Exception::error("fresh file");
        EXPECT_EQ(zeltest::fileSize(m_older), 10000001);
        std::vector<std::string> lines = zeltest::readLines(m_log);
        ASSERT_GE(lines.size(), 1u);
        EXPECT_NE(lines[0].find("Mirror Error: fresh file"), std::string::npos);
        EXPECT_EQ(zeltest::readFile(m_target), "root's data");
        unlink(m_log.c_str());
        unlink(m_older.c_str());
    }
}

TEST_F(HostileLog, ABlockedRotationIsReportedOnceAndRetried) {
    // A folder root cannot move aside: the ".blocked" name is a full folder too.
    ASSERT_EQ(mkdir(m_older.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((m_older + "/x").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((m_older + ".blocked").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((m_older + ".blocked/y").c_str(), 0777), 0);
    FillLog();
    zel::Exception::error("one");
    zel::Exception::error("two");
    std::string text = zeltest::readFile(m_log);
    std::size_t first = text.find("Mirror Error: Error log: the log " + m_log +
                                  " is over its size limit and could not be renamed");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("Error log:", first + 30), std::string::npos); // once
    // The way is clear again: the next line rotates.
    rmdir((m_older + "/x").c_str());
    rmdir(m_older.c_str());
    zel::Exception::error("three");
    EXPECT_GT(zeltest::fileSize(m_older), 10000001);
    std::vector<std::string> lines = zeltest::readLines(m_log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Mirror Error: three"), std::string::npos);
    rmdir((m_older + ".blocked/y").c_str());
    rmdir((m_older + ".blocked").c_str());
}

TEST_F(HostileLog, AFullDiskLeavesNoTornLine) {
    // A file size limit stands in for a full disk: the write stops part-way.
    zel::Exception::error("before");
    const long long before = zeltest::fileSize(m_log);
    int rc = Isolated([&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        struct rlimit tight = limit;
        tight.rlim_cur = static_cast<rlim_t>(before + 10);
        if (setrlimit(RLIMIT_FSIZE, &tight) != 0)
            return 1;
        zel::Exception::error("this line does not fit");
        setrlimit(RLIMIT_FSIZE, &limit);
        zel::Exception::error("after");
        return 0;
    });
    EXPECT_EQ(rc, 0);
    std::vector<std::string> lines = zeltest::readLines(m_log);
    // Exactly two whole lines: nothing of the one that did not fit.
    const std::regex whole("\\[[A-Z][a-z]{2} [^\\[\\]]{20}\\] Mirror Error: (before|after)");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], whole)) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], whole)) << lines[1];
    EXPECT_EQ(zeltest::fileSize(m_log), before + static_cast<long long>(lines[1].size()) + 1);
}

TEST_F(HostileLog, NobodyHoldingTheRotationLockDelaysRotationBoundedly) {
    FillLog();
    Signals signals;
    chmod(m_log.c_str(), 0666);
    std::thread attacker([&] {
        AsNobody([&] {
            int fd = open(m_log.c_str(), O_RDWR);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_len = 0; // every byte
            if (fd < 0 || fcntl(fd, F_OFD_SETLK, &fl) != 0 || !signals.ready())
                return 90;
            return signals.waitStop() ? 0 : 91;
        });
    });
    ASSERT_TRUE(signals.waitReady());
    const auto start = Clock::now();
    zel::Exception::error("not lost");
    EXPECT_LT(Milliseconds(start), 2000);
    ASSERT_TRUE(signals.stop());
    attacker.join();
    std::string tail = zeltest::readFile(m_log).substr(10000001);
    EXPECT_NE(tail.find("Mirror Error: not lost"), std::string::npos);
    EXPECT_NE(tail.find("another process holds the rotation lock"), std::string::npos);
}

#endif

#ifdef _WIN32
// The fixtures skip here; this keeps the suite visible in the Windows runs.
TEST_F(HostileMutex, AttacksOfAnotherAccountRunOnLinuxOnly) {}
#endif
