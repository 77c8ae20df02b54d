// The zel tool's log reader and JSON writer over arbitrary bytes, built from the
// tool's own sources. Input: the lines of a log (any bytes, line ends included).
// Checks: every record is one line of printable ASCII that nlohmann JSON reads;
// every input line comes back whole from the records (the stamp taken off, the
// prefix and the text put together), UTF-8 or not, control bytes included; the
// terminal forms hold no control byte, and a name's shell quoting reads back as
// the name.
#include "Records.h"
#include "Tool.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace {

void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

// Reads back a word quoted as bash reads it: '...', "...", $'...' with the
// escapes shellQuoted writes, \x outside quotes, and bare characters.
std::string unquote(const std::string& q) {
    std::string out;
    std::size_t i = 0;
    while (i < q.size()) {
        if (q[i] == '\'') {
            const std::size_t end = q.find('\'', i + 1);
            check(end != std::string::npos);
            out += q.substr(i + 1, end - i - 1);
            i = end + 1;
        } else if (q[i] == '"') {
            const std::size_t end = q.find('"', i + 1);
            check(end != std::string::npos);
            out += q.substr(i + 1, end - i - 1);
            i = end + 1;
        } else if (q.compare(i, 2, "$'") == 0) {
            i += 2;
            while (i < q.size() && q[i] != '\'') {
                check(q[i] == '\\' && i + 1 < q.size());
                const char e = q[i + 1];
                const char* named = "a\ab\bf\fn\nr\rt\tv\v";
                bool done = false;
                for (const char* n = named; *n; n += 2)
                    if (*n == e) {
                        out += n[1];
                        i += 2;
                        done = true;
                        break;
                    }
                if (done)
                    continue;
                check(i + 3 < q.size());
                out += static_cast<char>((q[i + 1] - '0') * 64 + (q[i + 2] - '0') * 8 +
                                         (q[i + 3] - '0'));
                i += 4;
            }
            check(i < q.size());
            ++i;
        } else if (q[i] == '\\') {
            check(i + 1 < q.size());
            out += q[i + 1];
            i += 2;
        } else {
            out += q[i++];
        }
    }
    return out;
}

bool visibleAscii(const std::string& s) {
    for (const char c : s) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F)
            return false;
    }
    return true;
}

bool noControls(const std::string& s, bool tabAllowed) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        if ((b < 0x20 && !(tabAllowed && b == '\t')) || b == 0x7F)
            return false;
        // C1 in UTF-8 (C2 80 to C2 9F); raw bytes above 0x7F are allowed only
        // within valid UTF-8, which the whole text is checked to be.
        if (b == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0)
            return false;
    }
    return zeltool::validUtf8(s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        lines.push_back(input.substr(start, end - start));
        start = end + 1;
    }

    const std::string file = "/var/tmp/log\xff\x1b.txt";
    std::vector<std::string> records;
    zeltool::LogRecords reader(file, "host", [&](const std::string& r) { records.push_back(r); });
    for (const std::string& line : lines)
        reader.line(line);
    reader.flush();

    std::size_t next = 0;
    for (const std::string& r : records) {
        check(visibleAscii(r));
        const nlohmann::json j = nlohmann::json::parse(r);
        std::string text, path;
        check(zeltool::bytesOfJson(j.at("text"), text));
        check(zeltool::bytesOfJson(j.at("file"), path) && path == file);
        const std::string prefix = j.at("prefix").get<std::string>();
        std::vector<std::string> parts;
        for (std::size_t start = 0;;) {
            const std::size_t end = text.find('\n', start);
            parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        check(next < lines.size());
        const std::string& first = lines[next++];
        std::tm tm{};
        const bool stamped = zeltool::parseStamp(first, tm);
        check(stamped || j.at("time").is_null());
        const std::string body = stamped ? first.substr(zeltool::kStampLength) : first;
        check(body == prefix + parts[0]);
        for (std::size_t k = 1; k < parts.size(); ++k) {
            check(next < lines.size());
            check(lines[next++] == parts[k]);
        }
    }
    check(next == lines.size());

    for (const std::string& line : lines) {
        check(noControls(zeltool::lessVisible(line), true));
        const std::string quoted = zeltool::shellQuoted(line);
        check(noControls(quoted, false));
        check(unquote(quoted) == line);
        check(unquote(zeltool::quotedName(line)) == line);
    }
    return 0;
}
