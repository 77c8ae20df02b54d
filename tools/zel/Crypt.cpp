// zel encrypt / zel decrypt: files or standard streams in the library's stored
// cipher format. The key never comes from the command line itself.
#include "Tool.h"

#include <CLI/CLI.hpp>

#include "zel/BlowFish.h"
#include "zel/Array.h"
#include "zel/BaseString.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zeltool {

namespace {

struct CryptOptions {
    std::string input = "-";
    std::string output = "-";
    std::string keyFile;
    std::string keyEnv;
};

std::string checkedKey(std::string key, const std::string& source) {
    if (key.empty())
        throw UsageError("the key from " + source + " is empty");
    if (key.find('\0') != std::string::npos)
        throw UsageError("the key from " + source + " holds a zero byte");
    return key;
}

std::string obtainKey(const CryptOptions& o, bool confirm) {
    if (!o.keyFile.empty()) {
        std::string key = readAll(o.keyFile);
        // One line end at the end of a key file belongs to the file, not the key.
        if (!key.empty() && key.back() == '\n')
            key.pop_back();
        if (!key.empty() && key.back() == '\r')
            key.pop_back();
        return checkedKey(key, "key file " + o.keyFile);
    }
    if (!o.keyEnv.empty()) {
        const char* value = std::getenv(o.keyEnv.c_str());
        if (value == nullptr)
            throw UsageError("environment variable " + o.keyEnv + " is not set");
        return checkedKey(value, "environment variable " + o.keyEnv);
    }
    if (!stdinIsTerminal())
        throw UsageError("no key: give --key-file or --key-env (standard input is not a "
                         "terminal to prompt on)");
    if (o.input == "-")
        throw UsageError("no key: reading data from a terminal, give --key-file or --key-env");
    std::string key = checkedKey(promptHidden("Key: "), "the prompt");
    if (confirm && promptHidden("Key again: ") != key)
        throw Failure("the two keys differ");
    return key;
}

void toArray(const std::string& data, zel::Array<unsigned char>& out) {
    out.SetSize(static_cast<unsigned int>(data.size()));
    if (!data.empty())
        std::memcpy(out.Data(), data.data(), data.size());
}

std::string fromArray(const zel::Array<unsigned char>& in) {
    return in.Size() ? std::string(reinterpret_cast<const char*>(in.Data()), in.Size())
                     : std::string();
}

int run(const CryptOptions& o, bool encrypt) {
    const std::string key = obtainKey(o, encrypt);
    const std::string data = readAll(o.input);
    const std::string name = o.input == "-" ? std::string("standard input") : o.input;
    if (data.size() > static_cast<std::size_t>(INT_MAX - 16))
        throw Failure(name + ": too large (at most 2 GB)");
    std::string result;
    if (!data.empty()) {
        zel::Array<unsigned char> in;
        zel::Array<unsigned char> out;
        toArray(data, in);
        if (encrypt) {
            zel::BlowFish::Encrypt(key.c_str(), in, static_cast<int>(data.size()), out);
        } else {
            if (data.size() % 8 != 0 || data.size() < 16)
                throw Failure(name + ": not enciphered data (length " +
                              std::to_string(data.size()) + " is not a multiple of 8)");
            if (!zel::BlowFish::Decrypt(key.c_str(), in, static_cast<int>(data.size()), out))
                throw Failure(name + ": wrong key or damaged data");
        }
        result = fromArray(out);
    }
    writeAllAtomically(o.output, result);
    return 0;
}

void add(CLI::App& app, bool encrypt) {
    auto o = std::make_shared<CryptOptions>();
    CLI::App* cmd = app.add_subcommand(
        encrypt ? "encrypt" : "decrypt",
        encrypt ? "Encipher a file or standard input in the library's stored cipher format"
                : "Decipher data enciphered in the library's stored cipher format");
    cmd->add_option("INPUT", o->input, "File to read; - or nothing for standard input");
    cmd->add_option("-o,--output", o->output,
                    "File to write (replaced only when the whole result is ready); "
                    "- or nothing for standard output")
        ->type_name("FILE");
    auto* keyFile = cmd->add_option("--key-file", o->keyFile,
                                    "Read the key from this file (one trailing line end is "
                                    "ignored)")
                        ->type_name("FILE");
    auto* keyEnv =
        cmd->add_option("--key-env", o->keyEnv, "Read the key from this environment variable")
            ->type_name("NAME");
    keyFile->excludes(keyEnv);
    cmd->footer("Without --key-file or --key-env the key is asked for, without echo, when "
                "standard input is a terminal.\nA wrong key or damaged data gives exit "
                "status 1 and no output.");
    setRunner(cmd, [o, encrypt]() -> int { return run(*o, encrypt); });
}

} // namespace

void addCrypt(CLI::App& app) {
    add(app, true);
    add(app, false);
}

} // namespace zeltool
