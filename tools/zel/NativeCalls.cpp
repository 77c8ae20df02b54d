// The tool's file, signal and host-name calls. With Terminal.cpp, the only place
// in the tool that differs between Windows and POSIX systems.
#include "Tool.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sstream>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#include <shlobj.h>
#else
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zeltool {
namespace native {

namespace {

// The temporary file to remove when the process is interrupted; empty when none.
char g_cleanupPath[4096];
volatile std::sig_atomic_t g_cleanupArmed = 0;
int g_cleanupFd = -1;

#if defined(_WIN32)
BOOL WINAPI onConsoleEvent(DWORD) {
    if (g_cleanupArmed) {
        g_cleanupArmed = 0;
        _close(g_cleanupFd); // Windows deletes no open file; fails harmlessly once closed
        DeleteFileA(g_cleanupPath);
    }
    return FALSE; // the default handler then ends the process
}
#else
void onSignal(int signal) {
    if (g_cleanupArmed) {
        g_cleanupArmed = 0;
        ::unlink(g_cleanupPath);
    }
    // End the way the signal would have ended us, so the caller sees it.
    struct sigaction deflt {};
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    ::sigaction(signal, &deflt, nullptr);
    (void)::raise(signal); // the default action ends the process
}
#endif

void installHandlers() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
#if defined(_WIN32)
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction act {};
    act.sa_handler = onSignal;
    sigemptyset(&act.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the caller ignores (a background job's SIGINT, nohup's SIGHUP)
        // stays ignored: it cannot interrupt us.
        struct sigaction old {};
        if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            ::sigaction(s, &act, nullptr);
    }
#endif
}

} // namespace

int openForReading(const std::string& path, long long& size, bool& regular, bool wait) {
#if defined(_WIN32)
    (void)wait;
    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd == -1)
        return -1;
    struct _stati64 st {};
    if (_fstati64(fd, &st) != 0) {
        const int saved = errno;
        _close(fd);
        errno = saved;
        return -1;
    }
    regular = (st.st_mode & _S_IFMT) == _S_IFREG;
#else
    // Reads of a regular file never wait, O_NONBLOCK or not.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (wait ? 0 : O_NONBLOCK));
    if (fd == -1)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    regular = S_ISREG(st.st_mode);
#endif
    size = regular ? static_cast<long long>(st.st_size) : 0;
    return fd;
}

bool readAt(int fd, long long offset, void* to, std::size_t n) {
    unsigned char* p = static_cast<unsigned char*>(to);
    while (n > 0) {
        const std::size_t step = n > (1u << 30) ? (1u << 30) : n;
#if defined(_WIN32)
        if (_lseeki64(fd, offset, SEEK_SET) != offset)
            return false;
        const int got = _read(fd, p, static_cast<unsigned int>(step));
#else
        const ssize_t got = ::pread(fd, p, step, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
#endif
        if (got <= 0)
            return false;
        p += got;
        offset += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

long long readSome(int fd, void* to, std::size_t n) {
    for (;;) {
#if defined(_WIN32)
        const int got = _read(fd, to, static_cast<unsigned int>(n));
#else
        const ssize_t got = ::read(fd, to, n);
        if (got < 0 && errno == EINTR)
            continue;
#endif
        return got;
    }
}

int createPrivate(const std::string& path) {
#if defined(_WIN32)
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
#endif
}

bool writeAt(int fd, long long offset, const void* from, std::size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(from);
    while (n > 0) {
        const std::size_t step = n > (1u << 30) ? (1u << 30) : n;
#if defined(_WIN32)
        if (_lseeki64(fd, offset, SEEK_SET) != offset)
            return false;
        const int put = _write(fd, p, static_cast<unsigned int>(step));
#else
        const ssize_t put = ::pwrite(fd, p, step, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR)
            continue;
#endif
        if (put <= 0)
            return false;
        p += put;
        offset += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

bool setLength(int fd, long long length) {
#if defined(_WIN32)
    // The cipher's outputs stay below 2^31 bytes, so the long of _chsize holds them.
    return length <= 0x7FFFFFFFLL && _chsize(fd, static_cast<long>(length)) == 0;
#else
    return ::ftruncate(fd, static_cast<off_t>(length)) == 0;
#endif
}

bool syncToDisk(int fd) {
#if defined(_WIN32)
    return _commit(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

void adoptModeOf(int fd, const std::string& target) {
#if defined(_WIN32)
    // Windows: the file keeps the permissions it inherits from its folder.
    (void)fd;
    (void)target;
#else
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // Owner first: changing it may clear the set-id bits the mode then restores.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0 &&
            ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
            // Not permitted: the file stays ours, as any new file would.
        }
        ::fchmod(fd, st.st_mode & 07777);
        return;
    }
    // A new file: what the umask gives any new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
#endif
}

bool closeFile(int fd) {
#if defined(_WIN32)
    return _close(fd) == 0;
#else
    return ::close(fd) == 0;
#endif
}

bool removeFile(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

bool replaceFile(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return ::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool isDirectory(const std::string& path) {
#if defined(_WIN32)
    struct _stati64 st {};
    return _stati64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFDIR;
#else
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

void removeOnSignal(const std::string& path, int fd) {
    installHandlers();
    g_cleanupArmed = 0;
    if (path.empty() || path.size() >= sizeof g_cleanupPath)
        return;
    std::memcpy(g_cleanupPath, path.c_str(), path.size() + 1);
    g_cleanupFd = fd;
    g_cleanupArmed = 1;
}

void keepOnSignal() {
    g_cleanupArmed = 0;
}

std::string hostName() {
#if defined(_WIN32)
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    if (GetComputerNameA(name, &size))
        return std::string(name, size);
#else
    char name[256];
    if (::gethostname(name, sizeof name) == 0) {
        name[sizeof name - 1] = '\0';
        return name;
    }
#endif
    return "unknown";
}

std::string errorText(int code) {
#if defined(_WIN32)
    // The C runtime keeps this text per thread (the 32-bit msvcrt.dll has no strerror_s).
    return std::strerror(code); // NOLINT(concurrency-mt-unsafe) // see above
#else
    char text[256] = "";
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    // The GNU form: the text, in `text` or a static one.
    return strerror_r(code, text, sizeof text);
#else
    if (strerror_r(code, text, sizeof text) != 0)
        return "Unknown error " + std::to_string(code);
    return text;
#endif
#endif
}

long long dataAfter(int fd, long long offset) {
#if defined(SEEK_DATA) && !defined(_WIN32)
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
    if (at >= 0)
        return static_cast<long long>(at);
    if (errno == ENXIO) {
        // Only a hole follows: the end of the file.
        struct stat st {};
        if (::fstat(fd, &st) == 0)
            return static_cast<long long>(st.st_size);
    }
#else
    (void)fd;
#endif
    return offset;
}

FileId identityOf(int fd) {
    FileId id;
#if defined(_WIN32)
    BY_HANDLE_FILE_INFORMATION info{};
    // NOLINTNEXTLINE(performance-no-int-to-ptr) // the CRT gives the handle as an integer
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info)) {
        id.device = info.dwVolumeSerialNumber;
        id.file = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        id.known = true;
    }
#else
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        id.device = static_cast<unsigned long long>(st.st_dev);
        id.file = static_cast<unsigned long long>(st.st_ino);
        id.known = true;
    }
#endif
    return id;
}

std::string machineDataFolder() {
#if defined(_WIN32)
    // The folder the library takes (FOLDERID_ProgramData); CSIDL_COMMON_APPDATA
    // names the same one.
    char path[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path)))
        return path;
    return std::string();
#else
    return "/var/lib";
#endif
}

std::string libraryFileOf(const void* address) {
#if defined(_WIN32)
    HMODULE module = nullptr;
    char path[MAX_PATH * 2];
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(address), &module)) {
        const DWORD n = GetModuleFileNameA(module, path, sizeof path);
        if (n > 0 && n < sizeof path)
            return std::string(path, n);
    }
    return std::string();
#else
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    char real[PATH_MAX];
    if (::realpath(info.dli_fname, real) != nullptr)
        return real;
    return info.dli_fname;
#endif
}

std::string mutexHolder(const std::string& name) {
#if defined(__linux__)
    // The owner binds the abstract socket name zel.mutex.<name> (docs/os-objects.md);
    // /proc/net/unix gives the socket's inode, and the process that holds a
    // descriptor of it is the one whose /proc/<pid>/fd shows socket:[inode].
    // Other accounts' descriptors are hidden unless the caller is root.
    const std::string wanted = " @zel.mutex." + name;
    if (name.size() > 90 || name.find_first_of("\n\r") != std::string::npos)
        return std::string(); // such names are hashed or cannot be read back
    std::FILE* table = std::fopen("/proc/net/unix", "r");
    if (table == nullptr)
        return std::string();
    std::string inode;
    char line[512];
    while (inode.empty() && std::fgets(line, sizeof line, table) != nullptr) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r'))
            l.pop_back();
        if (l.size() < wanted.size() || l.compare(l.size() - wanted.size(), wanted.size(), wanted))
            continue;
        // Num RefCount Protocol Flags Type St Inode Path: the inode is the
        // seventh field, in decimal.
        std::istringstream fields(l);
        std::string field;
        int count = 0;
        while (count < 7 && fields >> field)
            ++count;
        if (count == 7 && field.find_first_not_of("0123456789") == std::string::npos)
            inode = "socket:[" + field + "]";
    }
    (void)std::fclose(table); // read only: nothing is lost if closing fails
    if (inode.empty())
        return std::string();
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return std::string();
    std::string found;
    while (found.empty()) {
        // NOLINTNEXTLINE(concurrency-mt-unsafe) // a stream of this call's own
        const dirent* e = ::readdir(proc);
        if (e == nullptr)
            break;
        const std::string pid = e->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string fds = "/proc/" + pid + "/fd";
        DIR* dir = ::opendir(fds.c_str());
        if (dir == nullptr)
            continue;
        // NOLINTNEXTLINE(concurrency-mt-unsafe) // a stream of this call's own
        while (const dirent* f = ::readdir(dir)) {
            char target[64];
            const std::string link = fds + "/" + f->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == inode) {
                found = "process " + pid;
                std::FILE* comm = std::fopen(("/proc/" + pid + "/comm").c_str(), "r");
                char command[64] = "";
                if (comm != nullptr) {
                    if (std::fgets(command, sizeof command, comm) != nullptr) {
                        std::string c(command);
                        while (!c.empty() && c.back() == '\n')
                            c.pop_back();
                        found += " (" + quotedName(c) + ")";
                    }
                    (void)std::fclose(comm); // read only
                }
                break;
            }
        }
        ::closedir(dir);
    }
    ::closedir(proc);
    return found;
#else
    (void)name;
    return std::string();
#endif
}

} // namespace native
} // namespace zeltool
