// zel: the command-line tool over ZELBase for support work and scripts.
//
// Exit status, one table for every command (kExitTable below, shown by --help).
// Every error is one line on standard error that starts with "zel: " and the
// command's name, and carries the exception's messages.
#include "Tool.h"

#include "zel/Exception.h"
#include "zel/HashUtil.h"
#include "zel/PathSeparator.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <iostream>
#include <algorithm>
#include <map>
#include <regex>

#ifndef ZEL_VERSION
#define ZEL_VERSION "0.0.0"
#endif

namespace zeltool {

namespace {
std::map<const CLI::App*, std::function<int()>>& runners() {
    static std::map<const CLI::App*, std::function<int()>> all;
    return all;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}
} // namespace

void setRunner(CLI::App* command, std::function<int()> run) {
    runners()[command] = std::move(run);
}

std::string messageTrail(const std::exception& e) {
    return oneLine(e.what());
}

// The one candidate nearest to `word` by edit distance, when it is near enough
// to be a slip of the fingers (at most 2 edits, 1 for short words); else empty.
std::string nearestOf(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    if (word.size() <= 2)
        return best; // -x: any other letter is one edit away
    std::size_t bestDistance = word.size() <= 4 ? 2 : 3;
    for (const std::string& c : candidates) {
        std::vector<std::size_t> row(c.size() + 1);
        for (std::size_t j = 0; j <= c.size(); ++j)
            row[j] = j;
        for (std::size_t i = 1; i <= word.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= c.size(); ++j) {
                const std::size_t up = row[j];
                row[j] = std::min(
                    {row[j] + 1, row[j - 1] + 1, diagonal + (word[i - 1] == c[j - 1] ? 0 : 1)});
                diagonal = up;
            }
        }
        // A word that starts a candidate is near too (--recursiv, --one).
        const bool prefix = word.size() >= 3 && c.compare(0, word.size(), word) == 0;
        const std::size_t distance = prefix ? 1 : row[c.size()];
        if (distance < bestDistance) {
            bestDistance = distance;
            best = c;
        }
    }
    return best;
}

} // namespace zeltool

namespace {

const char kExitTable[] =
    "Exit status, the same for every command:\n"
    "  0  success; \"yes\" from a command that answers a question\n"
    "  1  \"no\" from a command that answers a question (prime: not prime; isadmin:\n"
    "     no), or a failure (a file that cannot be read, a wrong key, ls entries\n"
    "     that could not be read)\n"
    "  2  usage error: an unknown command or option, a value out of range, or an\n"
    "     argument of the wrong kind (a folder where a file is wanted, binary output\n"
    "     to a terminal without --force, an empty mutex name)\n"
    "  3  zel mutex: another process holds the mutex\n";

// "zel 1.0.0 (libZELBase 1.0.0, /usr/lib/x86_64-linux-gnu/libZELBase.so.1.0.0)":
// which library this run loaded, and its version as its file name carries it.
std::string versionText() {
    std::string text = std::string("zel ") + ZEL_VERSION;
    const std::string file =
        zeltool::native::libraryFileOf(reinterpret_cast<const void*>(&zel::util::isPrime));
    if (file.empty())
        return text + " (the loaded ZELBase library is not known)";
    std::string::size_type slash = file.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    std::string version = "version not recorded in its file name";
    const std::string::size_type so = name.find(".so.");
    if (so != std::string::npos)
        version = name.substr(so + 4);
    const std::string::size_type dot = name.find('.');
    text += " (" + name.substr(0, dot) + " " + version + ", " + file + ")";
    return text;
}

// " (did you mean 'X'?)" for the nearest candidate, or nothing.
std::string didYouMean(const std::string& word, const std::vector<std::string>& candidates) {
    const std::string near = zeltool::nearestOf(word, candidates);
    return near.empty() ? std::string() : " (did you mean '" + near + "'?)";
}

// The option names of a command, as typed: --name and -n.
std::vector<std::string> optionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* o : command.get_options()) {
        for (const std::string& l : o->get_lnames())
            names.push_back("--" + l);
        for (const std::string& s : o->get_snames())
            names.push_back("-" + s);
    }
    return names;
}

// The parser's message said plainly: unknown options with a guess, and a missing
// value named without the parser's "1 required N:N missing".
std::string plainParseMessage(const CLI::ParseError& e, const CLI::App* command) {
    std::string text = zeltool::messageTrail(e);
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr && command != nullptr) {
        const std::string::size_type colon = text.find(": ");
        std::string words = colon == std::string::npos ? text : text.substr(colon + 2);
        std::string out;
        std::size_t start = 0;
        while (start < words.size()) {
            std::size_t end = words.find(' ', start);
            if (end == std::string::npos)
                end = words.size();
            const std::string word = words.substr(start, end - start);
            start = end + 1;
            if (word.empty())
                continue;
            if (!out.empty())
                out += "; ";
            if (word[0] == '-') {
                const std::string name = word.substr(0, word.find('='));
                out += "unknown option '" + name + "'" + didYouMean(name, optionNames(*command));
            } else {
                out += "unexpected argument '" + word + "'";
            }
        }
        return out.empty() ? text : out;
    }
    static const std::regex missing("^(.*): \\d+ required (\\S+) missing$");
    std::smatch m;
    if (std::regex_match(text, m, missing)) {
        std::string what = m[2].str();
        const std::string::size_type colon = what.find(':');
        if (colon != std::string::npos)
            what.resize(colon);
        return m[1].str() + " needs a value (" + what + ")";
    }
    return text;
}

// A log path that is a folder, or written as one: the library would move the
// folder aside to make room for the log, so it is refused before anything runs.
bool namesAFolder(const std::string& path) {
    const char last = path.empty() ? '\0' : path.back();
    return last == zel::PATHSEPCHAR || last == '/' || zeltool::native::isDirectory(path);
}

std::string trailOf(zel::Exception& e) {
    std::string trail;
    for (unsigned int i = 0; i < e.getMessageTotal(); ++i) {
        if (!trail.empty())
            trail += " | ";
        trail += e.getErrorMessage(i);
    }
    return trail.empty() ? std::string("unknown library error") : trail;
}

int fail(const std::string& context, const std::string& text, int status) {
    std::string line = "zel: ";
    if (!context.empty())
        line += context + ": ";
    line += text;
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    // Standard output first, so the line comes after what was written (the run
    // fails either way). A failing standard error has nowhere else to be told.
    (void)std::fflush(stdout);
    (void)std::fprintf(stderr, "%s\n", line.c_str());
    return status;
}

int runTool(int argc, char** argv) {
    CLI::App app{"zel: support and scripting tool over the ZELBase library", "zel"};
    app.set_version_flag("--version", std::function<std::string()>(versionText),
                         "Print the tool's version and the library it loaded (file and version)");
    app.require_subcommand(1, 1);
    app.fallthrough();
    std::string logPath;
    app.add_option("--log", logPath,
                   "Error log file for this run (default: the library's machine-wide log)")
        ->type_name("PATH");
    app.footer(std::string(kExitTable) +
               "Errors are one line on standard error: zel: COMMAND: what, and why.\n"
               "Run 'zel COMMAND --help' for the options of one command.");

    zeltool::addLs(app);
    zeltool::addCrypt(app);
    zeltool::addLog(app);
    zeltool::addUtil(app);
    zeltool::addOs(app);
    zeltool::addDemo(app);

    // The first word that is neither an option nor the value of --log names the
    // command; say so plainly when it names none.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--log") {
            ++i;
            continue;
        }
        if (!arg.empty() && arg[0] == '-')
            continue;
        bool known = false;
        std::vector<std::string> names;
        for (const CLI::App* command : app.get_subcommands({})) {
            known = known || command->get_name() == arg;
            names.push_back(command->get_name());
        }
        if (!known)
            return fail("",
                        "unknown command '" + arg + "'" + didYouMean(arg, names) +
                            " (run 'zel --help' for the list)",
                        2);
        break;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return app.exit(e); // --help, --version
        // Name the command the error belongs to, when parsing got that far.
        const std::vector<CLI::App*> chosen = app.get_subcommands();
        const std::string name = chosen.empty() ? std::string() : chosen.front()->get_name();
        if (chosen.empty() && dynamic_cast<const CLI::RequiredError*>(&e) != nullptr)
            return fail("", "no command given (run 'zel --help' for the list)", 2);
        if (chosen.empty() && dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr)
            return fail("", plainParseMessage(e, &app) + " (run 'zel --help')", 2);
        return fail(name,
                    plainParseMessage(e, chosen.empty() ? &app : chosen.front()) + " (run 'zel " +
                        (name.empty() ? "" : name + " ") + "--help')",
                    2);
    }

    std::string context;
    for (const CLI::App* command : app.get_subcommands())
        context = command->get_name();
    try {
        if (!logPath.empty()) {
            if (logPath.size() >= 1024)
                throw zeltool::UsageError("--log: the path must be shorter than 1024 characters");
            if (namesAFolder(logPath))
                throw zeltool::UsageError("--log " + zeltool::quotedName(logPath) +
                                          ": is a folder; give the path of the log file itself");
            zel::Exception::SetErrorLogLocation(logPath.c_str());
        }
        for (const CLI::App* command : app.get_subcommands()) {
            auto found = zeltool::runners().find(command);
            if (found != zeltool::runners().end()) {
                int status = found->second();
                if (std::fflush(stdout) != 0 || std::ferror(stdout))
                    return fail(context, "cannot write to standard output", 1);
                return status;
            }
        }
        return fail("", "no command given (run 'zel --help')", 2);
    } catch (zel::Exception& e) {
        return fail(context, trailOf(e), 1);
    } catch (const zeltool::UsageError& e) {
        return fail(context, zeltool::messageTrail(e), 2);
    } catch (const std::exception& e) {
        return fail(context, zeltool::messageTrail(e), 1);
    } catch (...) {
        return fail(context, "unexpected failure", 1);
    }
}

} // namespace

int main(int argc, char** argv) {
    // What escapes the tool (running out of memory while the parser is set up or
    // while an error is told) still ends in one line and status 1.
    try {
        return runTool(argc, argv);
    } catch (...) {
        (void)std::fputs("zel: unexpected failure\n", stderr);
        return 1;
    }
}
