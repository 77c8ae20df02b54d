// zel encrypt / zel decrypt: files or standard streams in the library's stored
// cipher format. The key never comes from the command line itself.
//
// Large inputs are run through the library a slice at a time, so memory stays
// small whatever the size. The stored format enciphers the 32-bit words of the
// whole block in pairs, the first with the last, the second with the one before
// the last, and so on; every pair stands alone. A slice is a run of such pairs,
// its front words and their back partners, laid out so that the library pairs
// them exactly as it would in the whole block:
//   - enciphering: Encrypt(front, back, 0, 0) pairs the library's own header with
//     the two zero words and front[i] with back[i]; the result after its 8-byte
//     header is the enciphered front and back;
//   - deciphering: Decrypt(c, c, front, back, d, d), where (c, d) is the
//     encipherment of the pair (0, 0): the two outer pairs decipher to zeros, so
//     the library finds no magic word and hands back everything after the first
//     8 bytes: the deciphered front and back.
// The result is byte for byte what one library call over the whole data gives
// (the tests compare both).
#include "Tool.h"

#include <CLI/CLI.hpp>

#include "zel/Array.h"
#include "zel/BlowFish.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace zeltool {

namespace {

const std::uint32_t kMagic = 0xFACD0E37;
// The library takes lengths as int: the largest cipher text it can decipher is
// the largest multiple of 8 below 2^31, and the plain text of such a cipher text
// is 8 bytes shorter.
const long long kMaxCipher = 2147483640;
const long long kMaxPlain = kMaxCipher - 8;
// The most a key file may hold: far more than any key, and a bound for a device
// given as one (/dev/zero would be read until memory runs out).
const std::size_t kMaxKeyFile = 65536;
// Pairs per library call: 1 MiB of data.
const std::size_t kSlicePairs = std::size_t(1) << 17;

struct CryptOptions {
    std::string input = "-";
    std::string output = "-";
    std::string keyFile;
    std::string keyEnv;
    bool force = false;
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
        if (o.keyFile != "-" && native::isDirectory(o.keyFile))
            throw UsageError("--key-file " + o.keyFile + ": is a folder, not a key file");
        std::string key;
        try {
            key = readAll(o.keyFile, kMaxKeyFile);
        } catch (const Failure& e) {
            throw Failure("--key-file " + std::string(e.what()));
        }
        // One line end at the end of a key file belongs to the file, not the key.
        if (!key.empty() && key.back() == '\n')
            key.pop_back();
        if (!key.empty() && key.back() == '\r')
            key.pop_back();
        return checkedKey(key, "key file " + o.keyFile);
    }
    if (!o.keyEnv.empty()) {
        // NOLINTNEXTLINE(concurrency-mt-unsafe) // nothing in zel or the library calls setenv
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

void storeWord(unsigned char* to, std::uint32_t w) {
    for (int i = 0; i < 4; ++i)
        to[i] = static_cast<unsigned char>(w >> (8 * i));
}

std::uint32_t loadWord(const unsigned char* from) {
    std::uint32_t w = 0;
    for (int i = 3; i >= 0; --i)
        w = (w << 8) | from[i];
    return w;
}

// True when `data` would upset a terminal: bytes that are neither printable
// text nor tabs and line ends (UTF-8 passes).
bool looksBinary(const unsigned char* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = data[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return true;
        if (c == 0x7f)
            return true;
    }
    return false;
}

// The input: a file read where needed, or standard input held in memory.
class Input {
public:
    Input(const std::string& path, long long limit, const std::string& what)
        : m_name(path == "-" ? std::string("standard input") : path) {
        const std::string tooLarge = m_name + ": more than " + std::to_string(limit) +
                                     " bytes, the most the cipher can take as " + what;
        if (path != "-") {
            if (native::isDirectory(path))
                throw UsageError("INPUT " + path + ": is a folder, not a file");
            bool regular = false;
            m_fd = native::openForReading(path, m_size, regular);
            if (m_fd == -1)
                throw Failure(path + ": cannot open: " + native::errorText(errno));
            if (regular) {
                if (m_size > limit)
                    throw Failure(path + ": " + std::to_string(m_size) + " bytes, more than " +
                                  std::to_string(limit) + ", the most the cipher can take as " +
                                  what);
                return;
            }
        }
        // Pipes and devices are read whole, up to the limit.
        m_stream.reset(new StdinData(m_fd, limit, tooLarge));
        m_size = m_stream->size();
    }
    ~Input() {
        if (m_fd != -1)
            native::closeFile(m_fd);
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    const std::string& name() const { return m_name; }
    long long size() const { return m_size; }
    void read(long long offset, unsigned char* to, std::size_t n) const {
        if (m_stream) {
            m_stream->read(offset, to, n);
        } else if (!native::readAt(m_fd, offset, to, n)) {
            throw Failure(m_name + ": cannot read (did it change while being read?)");
        }
    }

private:
    std::string m_name;
    int m_fd = -1;
    long long m_size = 0;
    std::unique_ptr<StdinData> m_stream;
};

// The output: a file through OutputFile, or standard output, which is gathered
// in memory and written in order at the end.
class Output {
public:
    // `refuseBinary`: standard output is a terminal; binary results are refused.
    Output(const std::string& path, bool refuseBinary) : m_refuseBinary(refuseBinary) {
        if (path != "-")
            m_file.reset(new OutputFile(path));
    }
    void setLength(long long length) {
        m_length = length;
        if (!m_file)
            m_memory.resize(static_cast<std::size_t>((length + kChunk - 1) / kChunk));
    }
    // Bytes of the result at `offset`; whatever lies beyond the length is dropped.
    void write(long long offset, const unsigned char* data, std::size_t n) {
        if (offset >= m_length)
            return;
        n = static_cast<std::size_t>(
            std::min<long long>(static_cast<long long>(n), m_length - offset));
        if (m_file) {
            m_file->writeAt(offset, data, n);
            return;
        }
        while (n > 0) {
            const std::size_t chunk = static_cast<std::size_t>(offset / kChunk);
            const std::size_t at = static_cast<std::size_t>(offset % kChunk);
            const std::size_t step = std::min(n, kChunk - at);
            if (!m_memory[chunk]) {
                try {
                    m_memory[chunk].reset(new unsigned char[kChunk]);
                } catch (const std::bad_alloc&) {
                    throw Failure("not enough memory to hold the result for standard output; "
                                  "write it to a file with -o");
                }
            }
            std::memcpy(m_memory[chunk].get() + at, data, step);
            data += step;
            offset += static_cast<long long>(step);
            n -= step;
        }
    }
    void commit() {
        if (m_file) {
            m_file->commit(m_length);
            return;
        }
        if (m_refuseBinary) {
            for (std::size_t i = 0; i < m_memory.size(); ++i) {
                const long long left = m_length - static_cast<long long>(i * kChunk);
                const std::size_t n = static_cast<std::size_t>(std::min<long long>(left, kChunk));
                if (looksBinary(m_memory[i].get(), n))
                    throw UsageError("standard output is a terminal and the deciphered data is "
                                     "binary; write it to a file with -o, pipe it on, or give "
                                     "--force");
            }
        }
        setBinaryMode(false);
        for (std::size_t i = 0; i < m_memory.size(); ++i) {
            const long long left = m_length - static_cast<long long>(i * kChunk);
            const std::size_t n = static_cast<std::size_t>(std::min<long long>(left, kChunk));
            if (std::fwrite(m_memory[i].get(), 1, n, stdout) != n)
                throw Failure("cannot write to standard output");
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            throw Failure("cannot write to standard output");
    }

private:
    static const std::size_t kChunk = std::size_t(1) << 20;
    bool m_refuseBinary;
    std::unique_ptr<OutputFile> m_file;
    std::vector<std::unique_ptr<unsigned char[]>> m_memory;
    long long m_length = 0;
};

// The progress line of a long run: bytes done, on a terminal only, after a second.
class Progress {
public:
    Progress(const char* verb, long long total)
        : m_verb(verb), m_total(total), m_start(Clock::now()), m_last(m_start),
          m_terminal(stderrIsTerminal()) {}
    ~Progress() {
        if (m_shown)
            showProgress("");
    }
    void done(long long bytes) {
        if (!m_terminal)
            return;
        const Clock::time_point now = Clock::now();
        if (now - m_start < std::chrono::seconds(1) ||
            now - m_last < std::chrono::milliseconds(200))
            return;
        m_last = now;
        m_shown = true;
        const long long mib = 1 << 20;
        showProgress("zel: " + m_verb + ": " + std::to_string(bytes / mib) + " of " +
                     std::to_string((m_total + mib - 1) / mib) + " MiB");
    }

private:
    using Clock = std::chrono::steady_clock;
    std::string m_verb;
    long long m_total;
    Clock::time_point m_start, m_last;
    bool m_terminal;
    bool m_shown = false;
};

// Runs the pairs of a t-byte block through the library, a slice at a time.
class PairCipher {
public:
    PairCipher(const std::string& key, bool encipher) : m_key(key), m_encipher(encipher) {
        if (!encipher) {
            // The cipher text of the pair (0, 0): the outer words of every
            // deciphering slice.
            unsigned char zero[8] = {};
            run(zero, zero + 4, 1, true);
            m_zeroPair[0] = loadWord(zero);
            m_zeroPair[1] = loadWord(zero + 4);
        }
    }

    // Enciphers or deciphers `pairs` pairs of words as they lie in the block:
    // front[i] (the left word) with back[pairs - 1 - i] (the right word). The
    // results replace the words in place.
    void process(unsigned char* front, unsigned char* back, std::size_t pairs) {
        run(front, back, pairs, m_encipher);
    }

private:
    void run(unsigned char* front, unsigned char* back, std::size_t pairs, bool encipher) {
        const std::size_t data = 8 * pairs; // front and back words
        const unsigned int total = static_cast<unsigned int>(data + 16);
        m_work.SetSize(total);
        unsigned char* w = m_work.Data();
        if (encipher) {
            std::memcpy(w, front, 4 * pairs);
            std::memcpy(w + 4 * pairs, back, 4 * pairs);
            std::memset(w + data, 0, 8);
            zel::BlowFish::Encrypt(m_key.c_str(), m_work, static_cast<int>(data + 8), m_work);
            if (m_work.Size() != total)
                throw Failure("the library refused to encipher");
        } else {
            storeWord(w, m_zeroPair[0]);
            storeWord(w + 4, m_zeroPair[0]);
            std::memcpy(w + 8, front, 4 * pairs);
            std::memcpy(w + 8 + 4 * pairs, back, 4 * pairs);
            storeWord(w + 8 + data, m_zeroPair[1]);
            storeWord(w + 12 + data, m_zeroPair[1]);
            if (zel::BlowFish::Decrypt(m_key.c_str(), m_work, static_cast<int>(total), m_work) ||
                m_work.Size() != total - 8)
                throw Failure("the library refused to decipher");
        }
        const unsigned char* r = m_work.Data() + (encipher ? 8 : 0);
        std::memcpy(front, r, 4 * pairs);
        std::memcpy(back, r + 4 * pairs, 4 * pairs);
    }

    std::string m_key;
    bool m_encipher;
    std::uint32_t m_zeroPair[2] = {0, 0};
    zel::Array<unsigned char> m_work;
};

// Walks the pairs of a t-byte block from the outside in. `load` fills block
// bytes at an offset; `store` takes the results, and may stop the run by
// returning false after the first slice.
template <typename Load, typename Store>
void runBlock(PairCipher& cipher, long long t, Progress& progress, Load load, Store store) {
    const long long words = t / 4;
    const long long pairs = words / 2;
    std::vector<unsigned char> front, back;
    for (long long first = 0; first < pairs;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<long long>(pairs - first, kSlicePairs));
        front.resize(4 * n);
        back.resize(4 * n);
        const long long frontAt = 4 * first;
        const long long backAt = 4 * (words - first - static_cast<long long>(n));
        load(frontAt, front.data(), 4 * n);
        load(backAt, back.data(), 4 * n);
        cipher.process(front.data(), back.data(), n);
        if (!store(frontAt, front.data(), backAt, back.data(), 4 * n))
            return;
        first += static_cast<long long>(n);
        progress.done(2 * (4 * first));
    }
}

void encrypt(const std::string& key, const Input& in, Output& out) {
    const long long n = in.size();
    const long long t = ((n + 7) / 8) * 8 + 8;
    out.setLength(t);
    // The plain block: magic, length, the input, zeros.
    auto load = [&](long long offset, unsigned char* to, std::size_t count) {
        std::memset(to, 0, count);
        long long at = offset;
        unsigned char* p = to;
        const long long end = offset + static_cast<long long>(count);
        if (at < 8) {
            unsigned char header[8];
            storeWord(header, kMagic);
            storeWord(header + 4, static_cast<std::uint32_t>(n));
            const long long upto = std::min<long long>(end, 8);
            std::memcpy(p, header + at, static_cast<std::size_t>(upto - at));
            p += upto - at;
            at = upto;
        }
        const long long dataEnd = std::min<long long>(end, 8 + n);
        if (at < dataEnd)
            in.read(at - 8, p, static_cast<std::size_t>(dataEnd - at));
    };
    auto store = [&](long long frontAt, const unsigned char* front, long long backAt,
                     const unsigned char* back, std::size_t count) {
        out.write(frontAt, front, count);
        out.write(backAt, back, count);
        return true;
    };
    PairCipher cipher(key, true);
    Progress progress("encrypt", t);
    runBlock(cipher, t, progress, load, store);
    out.commit();
}

void decrypt(const std::string& key, const Input& in, Output& out) {
    const long long t = in.size();
    long long n = -1;
    auto load = [&](long long offset, unsigned char* to, std::size_t count) {
        in.read(offset, to, count);
    };
    auto store = [&](long long frontAt, const unsigned char* front, long long backAt,
                     const unsigned char* back, std::size_t count) {
        if (n < 0) {
            // The first slice holds the header: check it before anything is written.
            const std::uint32_t stored = loadWord(front + 4);
            if (loadWord(front) != kMagic || static_cast<long long>(stored) > t - 8)
                throw Failure(in.name() + ": wrong key or damaged data");
            n = stored;
            out.setLength(n);
            if (count > 8)
                out.write(frontAt, front + 8, count - 8);
        } else {
            out.write(frontAt - 8, front, count);
        }
        out.write(backAt - 8, back, count);
        return true;
    };
    PairCipher cipher(key, false);
    Progress progress("decrypt", t);
    runBlock(cipher, t, progress, load, store);
    out.commit();
}

int run(const CryptOptions& o, bool encrypting) {
    // Cipher text on a terminal is noise that can upset the terminal itself.
    if (encrypting && o.output == "-" && stdoutIsTerminal() && !o.force)
        throw UsageError("standard output is a terminal: the cipher text is binary; write it to "
                         "a file with -o, pipe it on, or give --force");
    const std::string key = obtainKey(o, encrypting);
    const Input in(o.input, encrypting ? kMaxPlain : kMaxCipher,
                   encrypting ? "plain text" : "cipher text");
    const long long size = in.size();
    if (encrypting && size == 0)
        throw Failure(in.name() + ": empty; the stored format cannot carry an empty text, so "
                                  "nothing was written");
    if (!encrypting && size < 16)
        throw Failure(in.name() + ": " + std::to_string(size) +
                      " bytes, too short for cipher text (at least 16 bytes)");
    if (!encrypting && size % 8 != 0)
        throw Failure(in.name() + ": " + std::to_string(size) +
                      " bytes; cipher text is a whole number of 8-byte blocks, so this is "
                      "not enciphered data or it was cut short");
    Output out(o.output, !encrypting && o.output == "-" && stdoutIsTerminal() && !o.force);
    if (encrypting)
        encrypt(key, in, out);
    else
        decrypt(key, in, out);
    return 0;
}

void add(CLI::App& app, bool encrypting) {
    auto o = std::make_shared<CryptOptions>();
    CLI::App* cmd = app.add_subcommand(
        encrypting ? "encrypt" : "decrypt",
        encrypting ? "Encipher a file or standard input in the library's stored cipher format"
                   : "Decipher data enciphered in the library's stored cipher format");
    cmd->add_option("INPUT", o->input, "File to read; - or nothing for standard input");
    cmd->add_option("-o,--output", o->output,
                    "File to write (replaced only when the whole result is ready); "
                    "- or nothing for standard output")
        ->type_name("FILE");
    auto* keyFile = cmd->add_option("--key-file", o->keyFile,
                                    "Read the key from this file, at most 65536 bytes (one "
                                    "trailing line end is ignored); - for standard input")
                        ->type_name("FILE");
    auto* keyEnv =
        cmd->add_option("--key-env", o->keyEnv, "Read the key from this environment variable")
            ->type_name("NAME");
    keyFile->excludes(keyEnv);
    cmd->add_flag("--force", o->force,
                  encrypting ? "Write the cipher text to standard output even when it is a terminal"
                             : "Write binary plain text to standard output even when it is a "
                               "terminal");
    cmd->footer(
        "What the cipher is for: reading and writing data that the product family has\n"
        "stored in this format before. It is a Blowfish variant with a fixed key schedule,\n"
        "no salt, no initial vector and no checksum: identical texts give identical\n"
        "cipher text. Do not use it to protect new secrets; use a modern authenticated\n"
        "cipher (for instance age or gpg) for those.\n"
        "\n"
        "Without --key-file or --key-env the key is asked for, without echo, when standard\n"
        "input is a terminal.\n"
        "\n"
        "Output goes to a temporary file beside the target, readable by its owner only,\n"
        "that replaces the target when complete and takes its mode (and owner where\n"
        "permitted); a new file gets the umask's mode. On a failure, Ctrl-C or SIGTERM\n"
        "the temporary file is removed. Binary output is not written to a terminal\n"
        "unless --force is given (exit 2, a usage error, as a folder given as INPUT\n"
        "or -o is). Plain text is at most 2147483632 bytes, cipher text at most\n"
        "2147483640 (the library's limits); an empty input cannot be enciphered.\n"
        "\n"
        "What damage is detected: the stored format has no checksum. Decrypt refuses\n"
        "(exit 1, no output) a length that is not a multiple of 8 or below 16, and data\n"
        "whose first deciphered 32-bit word is not the magic word or whose length word\n"
        "exceeds the data. Those two words are enciphered together with the last two,\n"
        "so only damage to the first 8 or the last 8 bytes (or a length cut by whole\n"
        "blocks) is noticed. Damage anywhere else gives wrong plain text and exit 0.");
    setRunner(cmd, [o, encrypting]() -> int { return run(*o, encrypting); });
}

} // namespace

void addCrypt(CLI::App& app) {
    add(app, true);
    add(app, false);
}

} // namespace zeltool
