// A host program of ZELBase: uses the installed headers and library and its
// exported data (PATHSEP, PATHSEPCHAR), lets an exception thrown inside the
// library reach it, and checks the error log.
//   consumer LOGFILE     a full path; exit status 0 when every check passed
// <string.h> comes first, as in many hosts: MinGW-w64 then spells strcasecmp
// as a macro in unoptimised builds, and the library's calls below must still link.
#include <string.h>

#include "zel/ZELBase.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

namespace {
int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok)
        ++failures;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer LOGFILE\n");
        return 2;
    }
    std::printf("consumer of ZELBase %s\n", ZEL_FOUND_VERSION);
    zel::Exception::SetErrorLogLocation(argv[1]);

    // Header templates and exported text functions.
    zel::BaseString<char> path("data\\logs\\");
    path += "a.txt";
    check(std::string(path) == "data\\logs\\a.txt" && path.FindLast("\\") == 9,
          "BaseString appends and searches");
    check(zel::util::compareNoCase("ABC", "abc") &&
              zel::util::strlen(static_cast<const char*>(nullptr)) == 0,
          "text primitives are exported");
    check(zel::util::strcasecmp("ABC", "abd") == -1 &&
              zel::util::strncasecmp("abcX", "ABCY", 3) == 0,
          "case-blind compares link whatever <string.h> defines");

    // The cipher: a round trip, and a wrong key refused.
    zel::Array<unsigned char> sealed;
    zel::BlowFish::Encrypt("secret", "hello", sealed);
    zel::BaseString<char> opened;
    check(sealed.Size() == 16 && zel::BlowFish::Decrypt("secret", sealed, opened) &&
              std::string(opened) == "hello" && !zel::BlowFish::Decrypt("Secret", sealed, opened),
          "BlowFish enciphers and deciphers");

    // An exception made inside the library crosses into the host and is logged.
    bool caught = false;
    try {
        char text[8];
        zel::util::asctime(nullptr, text, sizeof text); // buffer too small: throws
    } catch (zel::Exception& e) {
        caught = e.getMessageTotal() >= 1;
        e.appendMessage("%s::%s: Exception caught", "Consumer", "main");
    }
    check(caught, "an exception thrown by the library is caught by the host");

    zel::Exception::trace("consumer %s", "done");
    std::ifstream log(argv[1]);
    std::string line, all;
    while (std::getline(log, line))
        all += line + "\n";
    check(all.find("Error: Consumer::main: Exception caught") != std::string::npos &&
              all.find("Mirror TRACE: consumer done") != std::string::npos,
          "the error log holds the annotated message and the trace line");

    // The exported path separator, read from the library's data.
#ifdef _WIN32
    const char platformSeparator = '\\';
#else
    const char platformSeparator = '/';
#endif
    check(zel::PATHSEPCHAR == platformSeparator && zel::PATHSEP[0] == zel::PATHSEPCHAR &&
              zel::PATHSEP[1] == '\0',
          "PATHSEP and PATHSEPCHAR are the platform's separator");

    // The wildcard list finds the log file itself, named by its folder and file name
    // joined with PATHSEP.
    const std::string logPath = argv[1];
    const std::size_t cut = logPath.find_last_of(zel::PATHSEPCHAR);
    check(cut != std::string::npos, "the log path has a folder");
    const std::string pattern =
        cut == std::string::npos ? logPath
                                 : logPath.substr(0, cut) + zel::PATHSEP + logPath.substr(cut + 1);
    zel::Array<zel::BaseString<char>> files;
    check(zel::DirectoryIterator::GetWildCardFiles(pattern.c_str(), files, true) &&
              files.Size() == 1 && std::string(files[0]) == logPath,
          "GetWildCardFiles lists the log file");
    check(zel::util::stringHashCode("abc") == 96354 && zel::util::nextPrime(1000) == 1009,
          "hash and prime functions are exported");

    std::printf("%s\n", failures ? "consumer: FAILED" : "consumer: all checks passed");
    return failures ? 1 : 0;
}
