// Shared pieces of the zel command-line tool: error kinds, output helpers and the
// command entry points. The tool uses only the library's public headers.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zeltool {

// A failure of the command itself (exit status 1).
class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& what) : std::runtime_error(what) {}
};

// A command line the command cannot act on (exit status 2).
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

// The exception's messages, oldest first, joined into one line.
std::string messageTrail(const std::exception& e);

// ---- Terminal and process helpers (Terminal.cpp) ----
bool stdinIsTerminal();
bool stderrIsTerminal();
// Switches a standard stream to binary mode (no line-end translation on Windows).
void setBinaryMode(bool input);
// Reads a line from the console without echoing it; throws Failure on Ctrl-C.
std::string promptHidden(const char* prompt);
// The error log locations the library picks by default, in the order it tries them.
std::vector<std::string> defaultLogCandidates();

// ---- Files (Files.cpp) ----
std::string readAll(const std::string& path); // "-" reads standard input
// Writes `data` to `path` through a temporary file in the same folder that is
// renamed over the target, so a failure never leaves partial output; "-" writes
// to standard output.
void writeAllAtomically(const std::string& path, const std::string& data);
// The directory part of a specification, cut after its last path separator.
std::string directoryPart(const std::string& spec);

// Registers the work of a subcommand; it runs after the whole command line has
// been parsed and the global options applied, and returns the exit status.
void setRunner(CLI::App* command, std::function<int()> run);

// ---- Commands: each adds its subcommand to the application ----
void addLs(CLI::App& app);
void addCrypt(CLI::App& app);
void addLog(CLI::App& app);
void addUtil(CLI::App& app); // guid, hash, prime, split, num
void addOs(CLI::App& app);   // mutex, isadmin
void addDemo(CLI::App& app);

} // namespace zeltool
