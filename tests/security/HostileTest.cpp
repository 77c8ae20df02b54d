// Attacks by another account on the shared objects and the error log. A process
// of the test program (root) uses the library; a forked process that has become
// `nobody` attacks. What must hold: no crash, no call waiting longer than 1.5 s,
// no write outside the object or log asked for, no line that looks like one the
// library wrote, no lost line or generation. The families that resolve paths run
// both ways the library resolves them: with openat2, and with the component walk
// of kernels without it (forced through the test hook).
// Linux only, and only as root (CI runs as root); skipped elsewhere.
#include "testing/TestHooks.h"
#include "zel/Exception.h"
#include "zel/Security.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <cstddef>
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

std::string HostileName(const char* what) {
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

// `group`: the group the process runs with (0: nobody's own), as a member of
// that group would.
bool BecomeNobody(gid_t group = 0) {
    struct passwd* pw = getpwnam("nobody");
    uid_t uid = pw != nullptr ? pw->pw_uid : 65534;
    gid_t gid = group != 0 ? group : pw != nullptr ? pw->pw_gid : 65534;
    return setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0 && geteuid() == uid;
}

// Runs `attack` as nobody in a forked process; its exit code (negative: crashed
// or hung).
int AsNobody(const std::function<int()>& attack, int limitMs = 10000, gid_t group = 0) {
    return Isolated(
        [&] {
            if (!BecomeNobody(group))
                return 90;
            return attack();
        },
        limitMs);
}

uid_t NobodyUid() {
    struct passwd* pw = getpwnam("nobody");
    return pw != nullptr ? pw->pw_uid : 65534;
}
gid_t NobodyGid() {
    struct passwd* pw = getpwnam("nobody");
    return pw != nullptr ? pw->pw_gid : 65534;
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

// The two ways paths are resolved: openat2, and the forced component walk.
const bool kWalks[] = {false, true};
void ForceWalk(bool walk) {
    zel::detail::ForceComponentWalkForTesting(walk);
}
const char* WalkName(bool walk) {
    return walk ? "component walk" : "openat2";
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to attack as another account";
    }
    void TearDown() override { ForceWalk(false); }
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

// Binds the abstract name whose holder owns the mutex, as any account can try:
// the socket, or -1 while another process owns it.
int BindOwnership(const std::string& name) {
    const std::string exclusion = zel::platform::shared::ExclusionName(MutexFile(name));
    int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, exclusion.data(), exclusion.size());
    socklen_t length =
        static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + exclusion.size());
    if (s < 0 || bind(s, reinterpret_cast<struct sockaddr*>(&address), length) != 0) {
        if (s >= 0)
            close(s);
        return -1;
    }
    return s;
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
             // The users' read locks make this fail; it must not wait.
             int rc = fcntl(fd, F_OFD_SETLK, &fl) == 0 ? 14 : 0;
             close(fd);
             return rc;
         },
         AccessableWaitAcquired},
        {"ownership taken by binding its name",
         [](const std::string& f) {
             // Root holds it: the name is bound, and stays so.
             int s = BindOwnership(f.substr(std::strlen("/dev/shm/zel.mutex.")));
             if (s >= 0)
                 close(s);
             return s >= 0 ? 16 : 0;
         },
         AccessableWaitAcquired},
        {"unlinked by name (refused: the name is root's)",
         [](const std::string& f) { return unlink(f.c_str()) == 0 ? 15 : 0; },
         AccessableWaitAcquired},
    };
    for (const OwnedAttack& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = HostileName("owned");
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
    bool usable;         // root gets a working mutex (else a logged failure, at once)
    bool byRoot = false; // planted by root: what nobody can do where links are not protected
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
        {"a hard link to a root-only file (fs.protected_hardlinks 0)",
         [](const std::string& f, const std::string& t) {
             return link(t.c_str(), f.c_str()) == 0 ? 0 : 26;
         },
         false, true},
    };
    // On /dev/shm, as the object files: a hard link cannot cross file systems.
    const std::string target = "/dev/shm/" + HostileName("target");
    zeltest::writeFile(target, "root's data");
    chmod(target.c_str(), 0600);
    for (const Squat& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = HostileName("squat");
        const std::string file = MutexFile(name);
        if (c.byRoot)
            ASSERT_EQ(c.plant(file, target), 0);
        else
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
    unlink(target.c_str());
}

TEST_F(HostileMutex, RemovingTheNameNeverMakesTwoOwners) {
    struct Case {
        const char* what;
        int initialOwner; // of process B, which makes the name again
    };
    const Case cases[] = {{"B creates it without asking to own it", 0},
                          {"B creates it asking to own it", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = HostileName("removed");
        const std::string file = MutexFile(name);
        // Nobody makes the file first: the name is its own, in sticky /dev/shm.
        ASSERT_EQ(AsNobody([&] {
                      int fd = open(file.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
                      return fd >= 0 && fchmod(fd, 0666) == 0 && close(fd) == 0 ? 0 : 1;
                  }),
                  0);
        Signals signals;
        int ownerA = -1;
        std::thread a([&] {
            ownerA = Isolated([&] {
                void* m = ObtainAccessableMutex(0, name.c_str(), nullptr);
                if (m == nullptr || WaitAccessableMutex(m, 1000) != AccessableWaitAcquired)
                    return 1;
                if (!signals.ready() || !signals.waitStop())
                    return 2;
                return ReleaseAccessableMutex(m) && CloseAccessableHandle(m) ? 0 : 3;
            });
        });
        ASSERT_TRUE(signals.waitReady());
        ASSERT_EQ(AsNobody([&] { return unlink(file.c_str()) == 0 ? 0 : 1; }), 0);
        const auto start = Clock::now();
        int rcB = Isolated([&] {
            int created = -1;
            void* m = ObtainAccessableMutex(c.initialOwner, name.c_str(), &created);
            if (m == nullptr)
                return c.initialOwner != 0 ? 0 : 10; // it cannot own what A owns
            if (created != 1)
                return 11;
            // A still owns it: B must not.
            int rc = WaitAccessableMutex(m, 200) == AccessableWaitTimeout ? 0 : 12;
            CloseAccessableHandle(m);
            return rc;
        });
        EXPECT_EQ(rcB, 0);
        EXPECT_LT(Milliseconds(start), 1500);
        ASSERT_TRUE(signals.stop());
        a.join();
        EXPECT_EQ(ownerA, 0);
        unlink(file.c_str());
    }
}

TEST_F(HostileMutex, NamesRenamedOverAndOverBoundEveryCall) {
    const std::string name = HostileName("renamed");
    const std::string file = MutexFile(name);
    int stopPipe[2];
    ASSERT_EQ(pipe(stopPipe), 0);
    fcntl(stopPipe[0], F_SETFL, O_NONBLOCK);
    Signals signals;
    // Nobody renames fresh files, their use byte write-locked, over the name.
    std::thread attacker([&] {
        AsNobody(
            [&] {
                std::vector<int> held;
                bool told = false;
                char ch;
                for (int i = 0; read(stopPipe[0], &ch, 1) != 1; ++i) {
                    const std::string fresh = file + ".fresh." + std::to_string(i);
                    int fd = open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
                    struct flock fl {};
                    fl.l_type = F_WRLCK;
                    fl.l_len = 2;
                    if (fd < 0 || fchmod(fd, 0666) != 0 || fcntl(fd, F_OFD_SETLK, &fl) != 0 ||
                        rename(fresh.c_str(), file.c_str()) != 0)
                        return 1;
                    held.push_back(fd);
                    if (held.size() > 20) {
                        close(held.front());
                        held.erase(held.begin());
                    }
                    if (!told)
                        told = signals.ready();
                    usleep(200);
                }
                unlink(file.c_str());
                return 0;
            },
            20000);
    });
    ASSERT_TRUE(signals.waitReady());
    int rc = Isolated([&] {
        // An unrelated mutex, closed by another thread meanwhile.
        void* other = ObtainAccessableMutex(0, HostileName("unrelated").c_str(), nullptr);
        if (other == nullptr)
            return 1;
        int closeMs = -1;
        std::thread closer([&] {
            usleep(100000);
            const auto start = Clock::now();
            CloseAccessableHandle(other);
            closeMs = Milliseconds(start);
        });
        int worst = 0;
        for (int call = 0; call < 3; ++call) {
            const auto start = Clock::now();
            void* m = ObtainAccessableMutex(0, name.c_str(), nullptr);
            if (m != nullptr)
                CloseAccessableHandle(m);
            worst = std::max(worst, Milliseconds(start));
        }
        closer.join();
        std::printf("renamed names: slowest call %d ms, unrelated close %d ms\n", worst, closeMs);
        std::fflush(stdout);
        if (worst >= 1500)
            return 2;
        return closeMs >= 0 && closeMs < 100 ? 0 : 3;
    });
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(write(stopPipe[1], "x", 1), 1);
    attacker.join();
    close(stopPipe[0]);
    close(stopPipe[1]);
}

TEST_F(HostileMutex, HeldByNobodyIsADenialWithBoundedWaits) {
    const std::string name = HostileName("held");
    void* m = ObtainAccessableMutex(0, name.c_str(), nullptr);
    ASSERT_NE(m, nullptr);
    Signals signals;
    // Nobody binds the ownership name and holds it until told to stop.
    std::thread attacker([&] {
        AsNobody([&] {
            if (BindOwnership(name) < 0)
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
    const std::string name = HostileName("killed");
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

// Plants a record for `target` (`known`: its identity, where nobody cannot look
// it up itself) that claims `size` bytes.
int PlantRecord(const std::string& name, const std::string& target, mode_t mode,
                std::uint64_t size = 4096, const struct stat* known = nullptr) {
    struct stat st;
    if (known != nullptr)
        st = *known;
    else if (stat(target.c_str(), &st) != 0)
        return 50;
    Record r;
    std::memset(&r, 0, sizeof r);
    r.magic = zel::platform::shared::kMappingRecordMagic;
    r.protection = AccessablePageReadWrite;
    r.device = st.st_dev;
    r.inode = st.st_ino;
    r.size = size;
    std::strncpy(r.path, target.c_str(), sizeof r.path - 1);
    int fd = open(RecordFile(name).c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
    bool ok = fd >= 0 && fchmod(fd, mode) == 0 && write(fd, &r, sizeof r) == sizeof r;
    close(fd);
    return ok ? 0 : 51;
}

// A group nobody is not in by the user database, and an account that is not
// root: the group-shared file's group, and a caller that cannot take another
// account's credentials.
const gid_t kAppGroup = 4242;
const uid_t kPlainAccount = 4243;

struct Forgery {
    const char* what;
    std::function<int(const std::string& name, const std::string& target, const std::string& own)>
        plant;
    bool opened;          // the caller gets the file named (the object it asked for)
    gid_t group = 0;      // the group nobody writes the record with (0: its own)
    uid_t caller = 0;     // the account that asks for the mapping
    const char* why = ""; // what the refusal says
};

} // namespace

TEST_F(HostileMapping, ForgedRecordsNeverChooseRootsFile) {
    SharedFolder folder;
    const std::string target = RootOnlyFile(folder, "target", "root's data");
    chmod(target.c_str(), 0644);
    const std::string own = folder.join("nobodys.bin");
    // A file every account may write, behind a folder only root may search.
    const std::string closed = folder.join("closed");
    ASSERT_EQ(mkdir(closed.c_str(), 0700), 0);
    const std::string behind = closed + "/open.bin";
    zeltest::writeFile(behind, std::string(4096, 'r'));
    chmod(behind.c_str(), 0666);
    struct stat behindSt;
    ASSERT_EQ(stat(behind.c_str(), &behindSt), 0);
    // What the kernel decides where a group is on the file (nobody's own group is
    // nogroup): a file whose group bits deny what its other bits grant; a 0666
    // file behind a folder nobody may list but not enter; a file shared with a
    // group, published by a process of that group; the caller's own file.
    const std::string denying = folder.join("nogroup-0606.bin");
    zeltest::writeFile(denying, std::string(4096, 'd'));
    ASSERT_EQ(chown(denying.c_str(), 0, NobodyGid()), 0);
    ASSERT_EQ(chmod(denying.c_str(), 0606), 0);
    const std::string listOnly = folder.join("nogroup-0745");
    ASSERT_EQ(mkdir(listOnly.c_str(), 0745), 0);
    ASSERT_EQ(chown(listOnly.c_str(), 0, NobodyGid()), 0);
    ASSERT_EQ(chmod(listOnly.c_str(), 0745), 0);
    const std::string inListOnly = listOnly + "/open.bin";
    zeltest::writeFile(inListOnly, std::string(4096, 'l'));
    ASSERT_EQ(chmod(inListOnly.c_str(), 0666), 0);
    struct stat inListOnlySt;
    ASSERT_EQ(stat(inListOnly.c_str(), &inListOnlySt), 0);
    const std::string groupShared = folder.join("app-0660.bin");
    zeltest::writeFile(groupShared, std::string(4096, 'a'));
    ASSERT_EQ(chown(groupShared.c_str(), 0, kAppGroup), 0);
    ASSERT_EQ(chmod(groupShared.c_str(), 0660), 0);
    const std::string callers = folder.join("plain-0600.bin");
    zeltest::writeFile(callers, std::string(4096, 'p'));
    ASSERT_EQ(chown(callers.c_str(), kPlainAccount, kPlainAccount), 0);
    ASSERT_EQ(chmod(callers.c_str(), 0600), 0);
    struct stat callersSt;
    ASSERT_EQ(stat(callers.c_str(), &callersSt), 0);
    // A folder whose name forges a line of the log.
    const std::string forging =
        folder.join("f\n[Tue Nov 01 09:05:07 2022] Mirror TRACE: forged by nobody\n");
    const std::vector<Forgery> cases = {
        {"a record of nobody's 4 KiB file claiming 1 MiB",
         [](const std::string& n, const std::string&, const std::string& o) {
             return PlantRecord(n, o, 0644, 1 << 20);
         },
         false},
        {"a record naming a 0666 file behind a folder nobody may not search",
         [&](const std::string& n, const std::string&, const std::string&) {
             return PlantRecord(n, behind, 0644, 4096, &behindSt);
         },
         false},
        {"a record whose path holds line ends and a forged time stamp",
         [&](const std::string& n, const std::string&, const std::string&) {
             const std::string inside = forging + "/x.bin";
             if (mkdir(forging.c_str(), 0755) != 0)
                 return 55;
             zeltest::writeFile(inside, std::string(4096, 'n'));
             return PlantRecord(n, inside, 0644, 1 << 20);
         },
         false},
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
        {"a record naming root:nogroup 0606, whose group bits shut nobody out",
         [&](const std::string& n, const std::string&, const std::string&) {
             return PlantRecord(n, denying, 0644);
         },
         false, 0, 0, "which its owner may not open"},
        {"a record naming a 0666 file in root:nogroup 0745, which nobody may list, not enter",
         [&](const std::string& n, const std::string&, const std::string&) {
             return PlantRecord(n, inListOnly, 0644, 4096, &inListOnlySt);
         },
         false, 0, 0, "which its owner may not open"},
        {"a record naming root:app 0660, published by a process of group app",
         [&](const std::string& n, const std::string&, const std::string&) {
             return PlantRecord(n, groupShared, 0644);
         },
         true, kAppGroup},
        {"a record naming the caller's own 0600 file, read by a caller that is not root",
         [&](const std::string& n, const std::string&, const std::string&) {
             return PlantRecord(n, callers, 0644, 4096, &callersSt);
         },
         false, 0, kPlainAccount, "only root can"},
        {"a record naming nobody's own file, read by a caller that is not root",
         [](const std::string& n, const std::string&, const std::string& o) {
             return PlantRecord(n, o, 0644);
         },
         true, 0, kPlainAccount},
    };
    for (const Forgery& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = HostileName("forged");
        unlink(own.c_str());
        ASSERT_EQ(AsNobody(
                      [&] {
                          zeltest::writeFile(own, std::string(4096, 'n'));
                          chmod(own.c_str(), c.caller != 0 ? 0666 : 0644);
                          return c.plant(name, target, own);
                      },
                      10000, c.group),
                  0);
        zeltest::TempDir logDir;
        chmod(logDir.path().c_str(), 0777);
        const std::string log = logDir.join("log.txt");
        const std::string roots = folder.join(HostileName("roots") + ".bin");
        const auto start = Clock::now();
        int rc = Isolated([&] {
            if (c.caller != 0 &&
                (setgroups(0, nullptr) != 0 || setgid(c.caller) != 0 || setuid(c.caller) != 0))
                return 63;
            zel::Exception::SetErrorLogLocation(log.c_str());
            void* f = nullptr;
            try {
                f = ObtainAccessableFileMapping(roots.c_str(), AccessablePageReadWrite,
                                                AccessableMapRead | AccessableMapWrite, 0, 4096,
                                                name.c_str(), nullptr);
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
        EXPECT_LT(Milliseconds(start), 1500);
        EXPECT_EQ(zeltest::readFile(target), "root's data");
        EXPECT_TRUE(zeltest::readFile(behind) == std::string(4096, 'r')) << "behind was written";
        EXPECT_TRUE(zeltest::readFile(denying) == std::string(4096, 'd')) << "denying was written";
        EXPECT_TRUE(zeltest::readFile(inListOnly) == std::string(4096, 'l'))
            << "inListOnly was written";
        EXPECT_TRUE(zeltest::readFile(callers) == std::string(4096, 'p')) << "callers was written";
        if (c.group != 0) {
            // The group-shared file is the object asked for: the caller wrote it.
            EXPECT_EQ(zeltest::readFile(groupShared)[0], 'R');
            zeltest::writeFile(groupShared, std::string(4096, 'a'));
        }
        // Text of nobody's never starts a line of its own.
        for (const std::string& line : zeltest::readLines(log)) {
            EXPECT_NE(line.rfind("[Tue Nov 01 09:05:07 2022]", 0), 0u) << line;
            EXPECT_EQ(line.rfind("[", 0), 0u) << zeltest::readFile(log);
        }
        if (!c.opened) {
            EXPECT_NE(zeltest::readFile(log).find("ObtainAccessableFileMapping: refused the "
                                                  "mapping " +
                                                  name),
                      std::string::npos)
                << zeltest::readFile(log);
            EXPECT_NE(zeltest::readFile(log).find(c.why), std::string::npos)
                << zeltest::readFile(log);
        }
        unlink(RecordFile(name).c_str());
        unlink(roots.c_str());
        std::filesystem::remove_all(forging);
    }
}

namespace {

// What nobody puts at (or on the way to) the data file's name before root maps it.
struct DataSquat {
    const char* what;
    std::function<int(const std::string& data, const std::string& target)> plant;
    bool used; // root maps it: nobody's own file, the object asked for by name
    bool byRoot = false;
};

} // namespace

TEST_F(HostileMapping, DataFileNamesOfAnotherAccountAreNotFollowed) {
    SharedFolder folder;
    const std::string target = RootOnlyFile(folder, "target", "root's data");
    const std::string privateDir = folder.join("private");
    ASSERT_EQ(mkdir(privateDir.c_str(), 0700), 0);
    const std::vector<DataSquat> cases = {
        {"a symbolic link to a root-only file",
         [](const std::string& d, const std::string& t) {
             return symlink(t.c_str(), d.c_str()) == 0 ? 0 : 1;
         },
         false},
        {"a symbolic link as a folder on the way, to a root-only folder",
         [&](const std::string& d, const std::string&) {
             const std::string way = d.substr(0, d.find_last_of('/'));
             return symlink(privateDir.c_str(), way.c_str()) == 0 ? 0 : 2;
         },
         false},
        {"a hard link to a root-only file (fs.protected_hardlinks 0)",
         [](const std::string& d, const std::string& t) {
             return link(t.c_str(), d.c_str()) == 0 ? 0 : 3;
         },
         false, true},
        {"a pipe",
         [](const std::string& d, const std::string&) {
             return mkfifo(d.c_str(), 0666) == 0 ? 0 : 4;
         },
         false},
        {"nobody's own file",
         [](const std::string& d, const std::string&) {
             zeltest::writeFile(d, std::string(8192, 'n'));
             return chmod(d.c_str(), 0666) == 0 ? 0 : 5;
         },
         true},
    };
    for (bool walk : kWalks) {
        for (const DataSquat& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", " + WalkName(walk));
            const std::string way = folder.join(HostileName("way"));
            const bool wayIsLink = std::string(c.what).find("on the way") != std::string::npos;
            if (!wayIsLink) {
                ASSERT_EQ(mkdir(way.c_str(), 0755), 0);
                ASSERT_EQ(chmod(way.c_str(), 01777), 0);
            }
            const std::string data = way + "/data.bin";
            if (c.byRoot)
                ASSERT_EQ(c.plant(data, target), 0);
            else
                ASSERT_EQ(AsNobody([&] { return c.plant(data, target); }), 0);
            const auto start = Clock::now();
            int rc = Isolated([&] {
                ForceWalk(walk);
                void* f = nullptr;
                try {
                    f = ObtainAccessableFileMapping(data.c_str(), AccessablePageReadWrite,
                                                    AccessableMapRead | AccessableMapWrite, 0, 8192,
                                                    HostileName("data").c_str(), nullptr);
                } catch (zel::Exception&) {
                    return c.used ? 10 : 0; // "Unable to create file"
                }
                if (f == nullptr)
                    return 11;
                char* view = static_cast<char*>(MapAccessableView(f, AccessableMapWrite, 0, 0));
                if (view == nullptr)
                    return 12;
                view[0] = 'R';
                UnmapAccessableView(view);
                CloseAccessableHandle(f);
                return c.used ? 0 : 13;
            });
            EXPECT_EQ(rc, 0);
            EXPECT_LT(Milliseconds(start), 1500);
            EXPECT_EQ(zeltest::readFile(target), "root's data");
            EXPECT_TRUE(std::filesystem::is_empty(privateDir));
            if (wayIsLink)
                unlink(way.c_str());
            else
                std::filesystem::remove_all(way);
        }
    }
}

TEST_F(HostileMapping, StaleRecordIsReplacedWhoeverHoldsIt) {
    SharedFolder folder;
    const std::string name = HostileName("stale");
    const std::string first = folder.join("first.bin");
    void* f = ObtainAccessableFileMapping(first.c_str(), AccessablePageReadWrite,
                                          AccessableMapRead | AccessableMapWrite, 0, 4096,
                                          name.c_str(), nullptr);
    ASSERT_NE(f, nullptr);
    Signals signals;
    // Nobody opens root's 0644 record and read-locks it, as a user of it would.
    std::thread attacker([&] {
        AsNobody([&] {
            int fd = open(RecordFile(name).c_str(), O_RDONLY);
            struct flock fl {};
            fl.l_type = F_RDLCK;
            fl.l_len = 0;
            if (fd < 0 || fcntl(fd, F_OFD_SETLK, &fl) != 0)
                return 1;
            return signals.ready() && signals.waitStop() ? 0 : 2;
        });
    });
    ASSERT_TRUE(signals.waitReady());
    EXPECT_TRUE(CloseAccessableHandle(f)); // the record stays: nobody holds it
    ASSERT_EQ(unlink(first.c_str()), 0);   // and is stale now
    const auto start = Clock::now();
    const std::string second = folder.join("second.bin");
    void* again = ObtainAccessableFileMapping(second.c_str(), AccessablePageReadWrite,
                                              AccessableMapRead | AccessableMapWrite, 0, 4096,
                                              name.c_str(), nullptr);
    EXPECT_LT(Milliseconds(start), 1500);
    ASSERT_NE(again, nullptr);
    char* view = static_cast<char*>(MapAccessableView(again, AccessableMapWrite, 0, 0));
    ASSERT_NE(view, nullptr);
    view[0] = 'S';
    UnmapAccessableView(view);
    EXPECT_EQ(zeltest::readFile(second)[0], 'S');
    std::string record = zeltest::readFile(RecordFile(name));
    EXPECT_NE(record.find(second), std::string::npos);
    ASSERT_TRUE(signals.stop());
    attacker.join();
    EXPECT_TRUE(CloseAccessableHandle(again));
}

TEST_F(HostileMapping, RootsRecordCannotBeRewrittenByNobody) {
    SharedFolder folder;
    const std::string name = HostileName("record");
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

namespace {

// A private mount name space for this (forked) process, so that what it mounts
// goes with it.
bool PrivateMounts() {
    return unshare(CLONE_NEWNS) == 0 &&
           mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// Where nobody mounts a file system before root maps a file there (each in a
// private mount name space of its own process).
struct Mounted {
    const char* what;
    // Mounts at `point` (made by root); true when done.
    std::function<bool(const std::string& point)> mount;
    // Then, as nobody: what it does there; 0 when done.
    std::function<int(const std::string& point, const std::string& name)> attack;
    // Then root: 0 when it ends as it must.
    std::function<int(const std::string& point, const std::string& name)> use;
};

int WriteEveryPage(void* mapping) {
    char* view = static_cast<char*>(MapAccessableView(mapping, AccessableMapWrite, 0, 0));
    if (view == nullptr)
        return 31;
    for (std::size_t i = 0; i < (1u << 20); i += 4096)
        view[i] = 'R';
    UnmapAccessableView(view);
    return 0;
}

} // namespace

TEST_F(HostileMapping, WhatNobodyMountsNeitherStallsNorCrashes) {
    SharedFolder folder;
    const std::vector<Mounted> cases = {
        {"a recorded path inside a FUSE file system whose daemon never answers",
         [](const std::string& point) {
             // The kernel waits for the daemon's first answer before any request:
             // a daemon that never reads /dev/fuse stalls every lookup inside.
             int fuse = open("/dev/fuse", O_RDWR | O_CLOEXEC);
             if (fuse < 0)
                 return false;
             const std::string options = "fd=" + std::to_string(fuse) +
                                         ",rootmode=40000,user_id=" + std::to_string(NobodyUid()) +
                                         ",group_id=" + std::to_string(NobodyGid()) +
                                         ",allow_other";
             return mount("nobody", point.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) ==
                    0;
         },
         [](const std::string& point, const std::string& name) {
             struct stat known {};
             known.st_dev = 1;
             known.st_ino = 2;
             return PlantRecord(name, point + "/data.bin", 0644, 4096, &known);
         },
         [](const std::string&, const std::string& name) {
             void* f = nullptr;
             try {
                 f = ObtainAccessableFileMapping("", AccessablePageReadWrite,
                                                 AccessableMapRead | AccessableMapWrite, 0, 0,
                                                 name.c_str(), nullptr);
             } catch (zel::Exception&) {
                 return 0; // refused
             }
             CloseAccessableHandle(f);
             return 20;
         }},
        {"a small world-writable tmpfs, filled by nobody before root maps 1 MiB there",
         [](const std::string& point) {
             return mount("nobody", point.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                          "size=256k,mode=1777") == 0 &&
                    mkdir((point + "/root").c_str(), 0700) == 0;
         },
         [](const std::string& point, const std::string&) {
             int fd = open((point + "/fill").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
             const std::string block(4096, 'n');
             while (fd >= 0 && write(fd, block.data(), block.size()) > 0) {
             }
             const bool full = errno == ENOSPC;
             close(fd);
             return full ? 0 : 21;
         },
         [](const std::string& point, const std::string& name) {
             void* f = nullptr;
             try {
                 f = ObtainAccessableFileMapping(
                     (point + "/root/data.bin").c_str(), AccessablePageReadWrite,
                     AccessableMapRead | AccessableMapWrite, 0, 1u << 20, name.c_str(), nullptr);
             } catch (zel::Exception& e) {
                 // The call fails cleanly, naming the full disk, and the new file
                 // keeps its size.
                 if (std::string(e.getAt()) != "Open failed " + std::to_string(ENOSPC))
                     return 24;
                 struct stat st;
                 return stat((point + "/root/data.bin").c_str(), &st) == 0 && st.st_size == 0 ? 0
                                                                                              : 23;
             }
             const int rc = WriteEveryPage(f); // SIGBUS where the pages cannot be had
             CloseAccessableHandle(f);
             return rc == 0 ? 22 : rc;
         }},
    };
    std::string unmountable;
    for (bool walk : kWalks) {
        for (const Mounted& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", " + WalkName(walk));
            const std::string point = folder.join(HostileName("mount"));
            ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
            const std::string name = HostileName("mounted");
            const auto start = Clock::now();
            int rc = Isolated([&] {
                if (!PrivateMounts())
                    return 40;
                if (!c.mount(point))
                    return 41;
                if (AsNobody([&] { return c.attack(point, name); }) != 0)
                    return 42;
                ForceWalk(walk);
                return c.use(point, name);
            });
            if (rc == 40 || rc == 41) {
                rmdir(point.c_str());
                unmountable = std::string(c.what); // the other rows still run
                continue;
            }
            EXPECT_EQ(rc, 0);
            EXPECT_LT(Milliseconds(start), 1500);
            unlink(RecordFile(name).c_str());
            rmdir(point.c_str());
        }
    }
    if (!unmountable.empty())
        GTEST_SKIP() << "this system lets no test mount " << unmountable;
}

TEST_F(HostileMapping, ASharerThatShrinksTheFileEndsTheViewsOfOthers) {
    // The one way left: an account that may write the shared data file cuts it,
    // and the kernel lets any writer do so. Sealing works only on memfd files,
    // and a lease cannot be had on a file open for writing; so views fault.
    SharedFolder folder;
    const std::string data = folder.join("shared.bin");
    const std::string name = HostileName("shrunk");
    int rc = Isolated([&] {
        void* f = ObtainAccessableFileMapping(data.c_str(), AccessablePageReadWrite,
                                              AccessableMapRead | AccessableMapWrite, 0, 1u << 20,
                                              name.c_str(), nullptr);
        if (f == nullptr)
            return 1;
        int fd = open(data.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return 2;
        // What the kernel offers against it on a regular file: nothing.
        if (fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK) != -1 || errno != EINVAL)
            return 3;
        if (fcntl(fd, F_SETLEASE, F_RDLCK) != -1 || errno != EAGAIN)
            return 4;
        close(fd);
        if (AsNobody([&] { return truncate(data.c_str(), 0) == 0 ? 0 : 1; }) != 0)
            return 5;
        // The signal's own ending, also where a sanitizer would take it (the raw call
        // passes by its handler's guard).
        struct {
            void (*handler)(int);
            unsigned long flags;
            void (*restorer)();
            unsigned long mask;
        } plain{SIG_DFL, 0, nullptr, 0};
        syscall(SYS_rt_sigaction, SIGBUS, &plain, nullptr, sizeof plain.mask);
        return WriteEveryPage(f);
    });
    EXPECT_EQ(rc, -SIGBUS);
    unlink(RecordFile(name).c_str());
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
        {"a file of nobody's, 0666, made before root's first line",
         [](const std::string& l, const std::string&) {
             int fd = open(l.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
             return fd >= 0 && fchmod(fd, 0666) == 0 && close(fd) == 0 ? 0 : 84;
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
        // Nothing of root's went into what nobody planted.
        if (std::filesystem::symlink_status(m_log + ".blocked").type() ==
            std::filesystem::file_type::regular) {
            EXPECT_EQ(zeltest::readFile(m_log + ".blocked"), "");
        }
        struct stat st;
        ASSERT_EQ(stat(m_log.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
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
    // The reason is the system's text for the rename's error, on the same line.
    EXPECT_NE(
        text.find(" could not be renamed to " + m_older + ": " + std::strerror(EISDIR) + "\n"),
        std::string::npos)
        << text;
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
    // The ten bytes that got in are blanked where they stand, never cut off (a cut
    // could take a line another process appended meanwhile): nothing of the line
    // can be read, and the next one starts on its own.
    const std::regex whole("\\[[A-Z][a-z]{2} [^\\[\\]]{20}\\] Mirror Error: (before|after)");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(std::regex_match(lines[0], whole)) << lines[0];
    EXPECT_EQ(lines[1], std::string(9, ' '));
    EXPECT_TRUE(std::regex_match(lines[2], whole)) << lines[2];
    EXPECT_EQ(zeltest::fileSize(m_log), before + 10 + static_cast<long long>(lines[2].size()) + 1);
}

namespace {

// A public call that writes lines to the log, run while nobody holds the
// rotation lock of a full log; `lines`: how many it writes at least.
struct LoggingCall {
    const char* what;
    std::function<void(const std::string& folder)> run;
    std::size_t lines;
};

// Lines of `text` after its first `from` bytes.
std::size_t LinesAfter(const std::string& text, std::size_t from) {
    return text.size() <= from ? 0
                               : static_cast<std::size_t>(std::count(
                                     text.begin() + static_cast<long>(from), text.end(), '\n'));
}

} // namespace

TEST_F(HostileLog, AHeldRotationLockBoundsEveryCallThatLogs) {
    // A host keeps its log writable by every account (0666), and a rotation lock
    // made that wide by an older version is still there: nobody opens it and
    // holds a write lock on every byte, and the log stays over its size limit.
    // Every wait of a call, its log lines' included, counts against one deadline.
    const std::string lock = m_log + ".lock";
    const std::vector<LoggingCall> calls = {
        {"ObtainAccessableFileMapping refusing a record of nobody's",
         [](const std::string& folder) {
             const std::string name = HostileName("garbage");
             const std::string record = RecordFile(name);
             AsNobody([&] {
                 int fd = open(record.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
                 bool ok = fd >= 0 && write(fd, "garbage", 7) == 7;
                 close(fd);
                 return ok ? 0 : 1;
             });
             try {
                 void* f = ObtainAccessableFileMapping(
                     (folder + "/roots.bin").c_str(), AccessablePageReadWrite,
                     AccessableMapRead | AccessableMapWrite, 0, 4096, name.c_str(), nullptr);
                 if (f != nullptr)
                     CloseAccessableHandle(f);
             } catch (zel::Exception&) {
             }
             unlink(record.c_str());
         },
         3},
        {"Exception::trace", [](const std::string&) { zel::Exception::trace("bounded"); }, 1},
        {"an Exception of three messages mirrored again",
         [](const std::string&) {
             zel::Exception e("first");
             e.appendMessage("second");
             e.appendMessage("third");
             e.mirrorAllMessages();
         },
         6},
    };
    for (const LoggingCall& c : calls) {
        SCOPED_TRACE(c.what);
        FillLog();
        chmod(m_log.c_str(), 0666);
        zeltest::writeFile(lock, "");
        chmod(lock.c_str(), 0666);
        Signals signals;
        std::thread attacker([&] {
            AsNobody([&] {
                int fd = open(lock.c_str(), O_RDWR);
                struct flock fl {};
                fl.l_type = F_WRLCK;
                fl.l_len = 0; // every byte
                if (fd < 0 || fcntl(fd, F_OFD_SETLK, &fl) != 0 || !signals.ready())
                    return 90;
                return signals.waitStop() ? 0 : 91;
            });
        });
        ASSERT_TRUE(signals.waitReady());
        // In a process of its own: the library remembers a lock found held.
        int ms = -1;
        const int rc = Isolated([&] {
            zel::Exception::SetErrorLogLocation(m_log.c_str());
            const auto start = Clock::now();
            c.run(m_folder.join(""));
            const int took = Milliseconds(start);
            return std::min(took / 10, 250);
        });
        ms = rc * 10;
        ASSERT_TRUE(signals.stop());
        attacker.join();
        ASSERT_GE(rc, 0);
        EXPECT_LE(ms, 1500);
        // Every line got in, without rotating, and the log says why once.
        const std::string text = zeltest::readFile(m_log);
        std::printf("nobody holding the rotation lock: %s, %zu lines, %d ms\n", c.what,
                    LinesAfter(text, 10000001), ms);
        EXPECT_GE(LinesAfter(text, 10000001), c.lines) << text.substr(10000001);
        EXPECT_NE(text.find("another process holds the rotation lock", 10000001),
                  std::string::npos);
        // Root's own look at the lock narrowed it to what rotating needs: the
        // owner, and the group that may write the log; no other account.
        struct stat st;
        ASSERT_EQ(stat(lock.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0660u);
        unlink(lock.c_str());
        unlink(m_log.c_str());
    }
}

TEST_F(HostileLog, A0666LogStays0666AcrossRotationAndItsLockIsTheOwnersAlone) {
    FillLog();
    chmod(m_log.c_str(), 0666);
    zel::Exception::error("rotates");
    EXPECT_EQ(zeltest::fileSize(m_older), 10000001);
    struct stat st;
    ASSERT_EQ(stat(m_log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    const std::string lock = m_log + ".lock";
    ASSERT_EQ(stat(lock.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u); // the group may write the log too
    // Nobody's lines still get in after the rotation; it cannot take the lock.
    ASSERT_EQ(AsNobody([&] {
                  zel::Exception::SetErrorLogLocation(m_log.c_str());
                  zel::Exception::error("nobody's line");
                  return open(lock.c_str(), O_RDWR) < 0 && errno == EACCES ? 0 : 1;
              }),
              0);
    const std::vector<std::string> lines = zeltest::readLines(m_log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("Mirror Error: nobody's line"), std::string::npos);
    unlink(lock.c_str());
}

TEST_F(HostileLog, ASquattedRotationLockIsMovedAsideAndTheLogRotates) {
    // Nobody plants the lock's name first in the shared folder, and keeps what it
    // planted open, write-locked where it can, while root rotates.
    const std::string lock = m_log + ".lock";
    const std::vector<LogSquat> cases = {
        {"a symbolic link to a root file",
         [](const std::string& l, const std::string& t) {
             return symlink(t.c_str(), l.c_str()) == 0 ? -1 : 80;
         }},
        {"a pipe",
         [](const std::string& l, const std::string&) {
             return mkfifo(l.c_str(), 0666) == 0 ? open(l.c_str(), O_RDONLY | O_NONBLOCK) : 81;
         }},
        {"a file of nobody's, 0666, write-locked",
         [](const std::string& l, const std::string&) {
             int fd = open(l.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
             struct flock fl {};
             fl.l_type = F_WRLCK;
             fl.l_len = 0;
             return fd >= 0 && fchmod(fd, 0666) == 0 && fcntl(fd, F_OFD_SETLK, &fl) == 0 ? -1 : 82;
         }},
    };
    for (const LogSquat& c : cases) {
        SCOPED_TRACE(c.what);
        FillLog();
        Signals signals;
        std::thread attacker([&] {
            AsNobody([&] {
                int planted = c.plant(lock, m_target);
                // Said in every case, so that root never waits for a failed plant.
                if (!signals.ready() || planted >= 80)
                    return planted >= 80 ? planted : 1;
                return signals.waitStop() ? 0 : 2;
            });
        });
        signals.waitReady();
        const auto start = Clock::now();
        zel::Exception::error("after the squat");
        const int ms = Milliseconds(start);
        signals.stop();
        attacker.join();
        EXPECT_LT(ms, 1500);
        EXPECT_EQ(zeltest::readFile(m_target), "root's data");
        EXPECT_EQ(zeltest::fileSize(m_older), 10000001); // rotated
        std::string text = zeltest::readFile(m_log);
        EXPECT_NE(text.find("Mirror Error: after the squat"), std::string::npos);
        EXPECT_NE(
            text.find(" of another account at " + lock + " was moved to " + lock + ".blocked"),
            std::string::npos)
            << text;
        struct stat st;
        ASSERT_EQ(lstat(lock.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_uid, 0u);
        for (const std::string& name : {m_log, m_older, lock})
            unlink(name.c_str());
        std::filesystem::remove_all(lock + ".blocked");
    }
}

TEST_F(HostileLog, AnUntrustedLogFolderSendsLinesToTheFallbackAndSaysSo) {
    // Nobody makes the default log folder first: a link to a folder of its own.
    const std::string data = m_folder.join("data");
    ASSERT_EQ(mkdir(data.c_str(), 01777), 0);
    ASSERT_EQ(chmod(data.c_str(), 01777), 0);
    const std::string corvane = data + "/Corvane", nobodys = m_folder.join("nobodys");
    ASSERT_EQ(AsNobody([&] {
                  return mkdir(nobodys.c_str(), 0777) == 0 &&
                                 symlink(nobodys.c_str(), corvane.c_str()) == 0
                             ? 0
                             : 1;
              }),
              0);
    zel::detail::SetMachineDataFolderForTesting(data.c_str());
    zel::Exception::SetErrorLogLocation(nullptr);
    zel::Exception::error("where does this go");
    const std::string chosen = zel::Exception::GetErrorLogLocation();
    zel::Exception::SetErrorLogLocation(nullptr);
    zel::detail::SetMachineDataFolderForTesting(nullptr);
    const std::string fallback = data + "/ZELError.txt";
    EXPECT_EQ(chosen, fallback);
    std::vector<std::string> lines = zeltest::readLines(fallback);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("Mirror Error: where does this go"), std::string::npos);
    EXPECT_NE(lines[1].find("Mirror Error: Error log: the folder " + corvane +
                            " is not used: the symbolic link " + corvane +
                            " belongs to another account; this process logs to " + fallback +
                            " instead"),
              std::string::npos)
        << lines[1];
    EXPECT_TRUE(std::filesystem::is_empty(nobodys));
    std::filesystem::remove_all(data);
    std::filesystem::remove_all(nobodys);
}

TEST_F(HostileLog, ReadersCannotHoldRotationUp) {
    // Nobody may only read the 0644 log; it read-locks every byte of it.
    FillLog();
    chmod(m_log.c_str(), 0644);
    Signals signals;
    std::thread attacker([&] {
        AsNobody([&] {
            int fd = open(m_log.c_str(), O_RDONLY);
            struct flock fl {};
            fl.l_type = F_RDLCK;
            fl.l_len = 0;
            if (fd < 0 || fcntl(fd, F_OFD_SETLK, &fl) != 0 || !signals.ready())
                return 1;
            return signals.waitStop() ? 0 : 2;
        });
    });
    ASSERT_TRUE(signals.waitReady());
    int worst = 0;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        zel::Exception::error("line %d", i);
        worst = std::max(worst, Milliseconds(start));
    }
    std::printf("reader holding locks: slowest line %d ms\n", worst);
    EXPECT_LT(worst, 1500);
    EXPECT_EQ(zeltest::fileSize(m_older), 10000001); // rotated
    EXPECT_EQ(zeltest::readLines(m_log).size(), 3u);
    ASSERT_TRUE(signals.stop());
    attacker.join();
    unlink((m_log + ".lock").c_str());
}

namespace {

// A link on the way to the log's folder, and who made it.
struct WayLink {
    const char* what;
    bool byNobody;
    bool followed; // the line lands behind the link
};

} // namespace

TEST_F(HostileLog, LinksOnTheWayAreFollowedOnlyWhenTrusted) {
    const std::string privateDir = m_folder.join("private");
    ASSERT_EQ(mkdir(privateDir.c_str(), 0700), 0);
    const WayLink cases[] = {
        {"nobody's link to a root-only folder", true, false},
        {"root's own link (the administrator's intent)", false, true},
    };
    for (bool walk : kWalks) {
        for (const WayLink& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", " + WalkName(walk));
            // A fresh name each time: a location's folder is resolved once.
            const std::string way = m_folder.join(HostileName("way"));
            auto plant = [&] { return symlink(privateDir.c_str(), way.c_str()) == 0 ? 0 : 1; };
            ASSERT_EQ(c.byNobody ? AsNobody(plant) : plant(), 0);
            ForceWalk(walk);
            zel::Exception::SetErrorLogLocation((way + "/ZELError.txt").c_str());
            const auto start = Clock::now();
            zel::Exception::error("behind the link");
            EXPECT_LT(Milliseconds(start), 1500);
            const std::string landed = privateDir + "/ZELError.txt";
            EXPECT_EQ(std::filesystem::exists(landed), c.followed);
            if (c.followed) {
                EXPECT_NE(zeltest::readFile(landed).find("behind the link"), std::string::npos);
            }
            unlink(landed.c_str());
            unlink(way.c_str());
            ForceWalk(false);
        }
    }
}

TEST_F(HostileLog, WhatTheCallerOwnsAtTheLogNameIsUsedOrLeft) {
    // An administrator's link from the log name to another disk is followed, and
    // the log rotates where it points; the caller's own folder is left alone.
    const std::string elsewhere = m_folder.join("elsewhere");
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
    const std::string real = elsewhere + "/real.txt";
    ASSERT_EQ(symlink(real.c_str(), m_log.c_str()), 0);
    zel::Exception::error("through root's link");
    EXPECT_NE(zeltest::readFile(real).find("through root's link"), std::string::npos);
    struct stat st;
    ASSERT_EQ(lstat(m_log.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    zeltest::writeFile(real, std::string(10000001, 'x'));
    zel::Exception::error("fresh");
    EXPECT_EQ(zeltest::fileSize(real + ".001"), 10000001);
    EXPECT_EQ(zeltest::readLines(real).size(), 1u);
    unlink(m_log.c_str());
    ASSERT_EQ(mkdir(m_log.c_str(), 0755), 0);
    zel::Exception::error("dropped");
    EXPECT_TRUE(std::filesystem::is_directory(m_log));
    EXPECT_FALSE(std::filesystem::exists(m_log + ".blocked"));
    rmdir(m_log.c_str());
}

TEST_F(HostileLog, ANewLogIsNeverWiderThan0644WhateverTheUmask) {
    int rc = Isolated([&] {
        umask(0);
        zel::Exception::error("first line");
        struct stat st;
        if (stat(m_log.c_str(), &st) != 0)
            return 1;
        return (st.st_mode & 07777) == 0644 ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
}

#endif

#ifdef _WIN32
// Keeps the suite visible in the Windows runs, as a skip with its reason.
TEST_F(HostileMutex, AttacksOfAnotherAccountRunOnLinuxOnly) {
    GTEST_SKIP() << "another account's attacks need fork and setuid; on Windows the objects "
                    "rest on their security descriptors, whose construction the security tests "
                    "check";
}
#endif
