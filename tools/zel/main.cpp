// zel: the command-line tool over ZELBase for support work and scripts.
//
// Exit status: 0 success, 1 failure, 2 usage error. Every error is one line on
// standard error that starts with "zel: " and carries the exception's messages.
#include "Tool.h"

#include "zel/Exception.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <iostream>
#include <map>

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

} // namespace zeltool

namespace {

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
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
    return status;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"zel: support and scripting tool over the ZELBase library", "zel"};
    app.set_version_flag("--version", std::string("zel ") + ZEL_VERSION);
    app.require_subcommand(1, 1);
    app.fallthrough();
    std::string logPath;
    app.add_option("--log", logPath,
                   "Error log file for this run (default: the library's machine-wide log)")
        ->type_name("PATH");
    app.footer("Exit status: 0 success, 1 failure, 2 usage error.\n"
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
        for (const CLI::App* command : app.get_subcommands({}))
            known = known || command->get_name() == arg;
        if (!known)
            return fail("", "unknown command '" + arg + "' (run 'zel --help' for the list)", 2);
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
        return fail(name,
                    zeltool::messageTrail(e) + " (run 'zel " + (name.empty() ? "" : name + " ") +
                        "--help')",
                    2);
    }

    std::string context;
    try {
        if (!logPath.empty()) {
            if (logPath.size() >= 1024)
                throw zeltool::UsageError("--log: the path must be shorter than 1024 characters");
            zel::Exception::SetErrorLogLocation(logPath.c_str());
        }
        for (const CLI::App* command : app.get_subcommands()) {
            context = command->get_name();
            auto found = zeltool::runners().find(command);
            if (found != zeltool::runners().end()) {
                int status = found->second();
                std::fflush(stdout);
                if (std::ferror(stdout))
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
