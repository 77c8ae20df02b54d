// zel guid, hash, prime, split and num: the text and number functions of
// zel::util, for scripts and for checking what the library makes of a text.
#include "Tool.h"

#include <CLI/CLI.hpp>

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/GuidUtil.h"
#include "zel/HashUtil.h"
#include "zel/NumberUtil.h"
#include "zel/SplitUtil.h"

#include <cstdio>
#include <memory>

namespace zeltool {

namespace {

void addGuid(CLI::App& app) {
    auto count = std::make_shared<int>(1);
    CLI::App* cmd = app.add_subcommand("guid", "Create unique identifiers (GUIDs)");
    cmd->add_option("-n,--count", *count, "How many (1 to 100000)")
        ->type_name("N")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                const bool digits = !text.empty() && text.size() <= 6 &&
                                    text.find_first_not_of("0123456789") == std::string::npos;
                if (!digits || std::stoul(text) < 1 || std::stoul(text) > 100000)
                    return "must be a whole number from 1 to 100000: " + text;
                return std::string();
            },
            ""));
    setRunner(cmd, [count]() -> int {
        zel::BaseString<char> text;
        for (int i = 0; i < *count; ++i) {
            _GUID id{};
            zel::util::CreateUniqueID(id);
            zel::util::UniqueIDToString(id, text);
            std::printf("%s\n", static_cast<const char*>(text));
        }
        return 0;
    });
}

void addHash(CLI::App& app) {
    struct Options {
        std::vector<std::string> texts;
        bool noCase = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand("hash", "The library's 32-bit string hash of each TEXT");
    cmd->add_option("TEXT", o->texts, "Texts to hash")->required();
    cmd->add_flag("-i,--nocase", o->noCase, "Hash without regard to ASCII case");
    cmd->footer("Prints one line per text: the hash in decimal, a tab, the text.");
    setRunner(cmd, [o]() -> int {
        for (const std::string& t : o->texts) {
            const unsigned int h = o->noCase ? zel::util::stringHashCodeNoCase(t.c_str())
                                             : zel::util::stringHashCode(t.c_str());
            std::printf("%u\t%s\n", h, t.c_str());
        }
        return 0;
    });
}

void addPrime(CLI::App& app) {
    struct Options {
        std::string number;
        bool next = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand("prime", "Test N for primality, or find the next prime");
    cmd->add_option("N", o->number, "A whole number from 0 to 4294967295")->required();
    cmd->add_flag("--next", o->next, "Print the first number above N the library counts as prime");
    cmd->footer("Exit status 0 when N is prime, 1 when it is not (as test answers); --next\n"
                "exits 0. The library counts 1 as prime; past 4294967291 the next prime\n"
                "wraps to 1.");
    setRunner(cmd, [o]() -> int {
        const unsigned int n = parseCount(o->number, "N");
        if (o->next) {
            std::printf("%u\n", zel::util::nextPrime(n));
            return 0;
        }
        const bool prime = zel::util::isPrime(n);
        std::printf("%u %s\n", n, prime ? "is prime" : "is not prime");
        return prime ? 0 : 1;
    });
}

void addSplit(CLI::App& app) {
    struct Options {
        std::string text;
        std::string delimiters = ",";
        std::string separator;
        bool trim = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "split", "Split TEXT into fields (delimiter set with quoting, or a separator text)");
    cmd->add_option("TEXT", o->text, "The text to split")->required();
    auto* delims = cmd->add_option("-d,--delimiters", o->delimiters,
                                   "Set of delimiter characters (default ,); fields may be "
                                   "quoted with \", \"\" standing for one quote")
                       ->type_name("SET");
    auto* trim = cmd->add_flag("-t,--trim", o->trim, "Trim white space around each field");
    auto* sep = cmd->add_option("-s,--separator", o->separator,
                                "Cut at every occurrence of this whole text instead "
                                "(no quoting, no trimming)")
                    ->type_name("TEXT");
    sep->excludes(delims);
    sep->excludes(trim);
    cmd->footer("Prints one field per line in brackets, so empty fields show as [].");
    setRunner(cmd, [o, sep]() -> int {
        zel::Array<zel::BaseString<char>> fields;
        if (sep->count() > 0) {
            if (o->separator.empty())
                throw UsageError("--separator must not be empty");
            zel::util::splitString(o->text.c_str(), o->separator.c_str(), fields);
        } else {
            if (o->delimiters.empty())
                throw UsageError("--delimiters must name at least one character");
            zel::util::singleStringToMultipleStrings(o->text.c_str(), o->delimiters.c_str(), fields,
                                                     o->trim);
        }
        for (unsigned int i = 0; i < fields.Size(); ++i) {
            const char* f = fields[i];
            std::printf("[%s]\n", f ? f : "");
        }
        return 0;
    });
}

// "end 3" plus what is left of the text from there.
std::string endOf(const char* text, const char* end) {
    if (end == nullptr)
        return "end (null)";
    std::string s = "end " + std::to_string(end - text);
    s += *end ? std::string(", rest \"") + end + "\"" : std::string(", rest \"\"");
    return s;
}

bool isParseSpace(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

// The decimal digits an integer parser reads from `text` (after white space and
// one sign; '+' only when `plusToo`), without leading zeros, and whether the
// sign was '-'.
std::string integerDigits(const char* text, bool plusToo, bool& negative) {
    while (isParseSpace(*text))
        ++text;
    negative = *text == '-';
    if (*text == '-' || (plusToo && *text == '+'))
        ++text;
    std::string digits;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (!digits.empty() || *text != '0')
            digits += *text;
    return digits;
}

// Whether the digits (no leading zeros) exceed `limit` (a decimal text).
bool exceeds(const std::string& digits, const std::string& limit) {
    return digits.size() != limit.size() ? digits.size() > limit.size() : digits > limit;
}

// "  wrapped: the text holds N, which does not fit in B bits" or nothing.
std::string wrapNote(const char* text, bool plusToo, const char* max, const char* minMagnitude,
                     int bits) {
    bool negative = false;
    const std::string digits = integerDigits(text, plusToo, negative);
    if (!exceeds(digits, negative ? minMagnitude : max))
        return std::string();
    return "  wrapped: " + std::string(negative ? "-" : "") + digits + " does not fit in " +
           std::to_string(bits) + " bits";
}

// The number of mantissa digits stringToDouble meets (it uses the first 18).
std::size_t mantissaDigits(const char* text) {
    while (isParseSpace(*text))
        ++text;
    if (*text == '-' || *text == '+')
        ++text;
    std::size_t digits = 0;
    bool point = false;
    for (; (*text >= '0' && *text <= '9') || (*text == '.' && !point); ++text) {
        if (*text == '.')
            point = true;
        else
            ++digits;
    }
    return digits;
}

void addNum(CLI::App& app) {
    auto text = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand(
        "num", "Show how each of the library's number parsers reads TEXT, end position included");
    cmd->add_option("TEXT", *text, "The text to read")->required();
    cmd->footer("The parsers never report overflow: integers wrap (modulo 2^32 or 2^64) and\n"
                "stringToDouble reads at most 18 significant digits. Such lines end with\n"
                "'wrapped: ...' or 'cut: ...'.");
    setRunner(cmd, [text]() -> int {
        const char* t = text->c_str();
        char* end = nullptr;
        char buffer[64];

        const std::string wrap32 = wrapNote(t, false, "2147483647", "2147483648", 32);
        const std::string wrap64 =
            wrapNote(t, true, "9223372036854775807", "9223372036854775808", 64);

        const int i = zel::util::stringToInteger(t, &end);
        std::printf("stringToInteger     %d  (%s)%s\n", i, endOf(t, end).c_str(), wrap32.c_str());

        const long long l = zel::util::stringToInt64(t, &end);
        std::printf("stringToInt64       %s  (%s)%s\n",
                    zel::util::Int64ToStr(l, buffer, sizeof buffer), endOf(t, end).c_str(),
                    wrap64.c_str());

        const double d = zel::util::stringToDouble(t, &end);
        const std::size_t digits = mantissaDigits(t);
        const std::string cut = digits > 18 ? "  cut: only the first 18 of " +
                                                  std::to_string(digits) + " digits are read"
                                            : std::string();
        std::printf("stringToDouble      %.17g = %s  (%s)%s\n", d,
                    zel::util::doubleToString(d, buffer, sizeof buffer), endOf(t, end).c_str(),
                    cut.c_str());

        const bool b = zel::util::stringToBoolean(t, &end);
        std::printf("stringToBoolean     %s  (%s)\n", b ? "true" : "false", endOf(t, end).c_str());

        const bool coerces = zel::util::canCoerceToInteger(t, true);
        std::printf("canCoerceToInteger  %s (leading zeros refused), %s (permitted)%s\n",
                    zel::util::canCoerceToInteger(t, false) ? "yes" : "no", coerces ? "yes" : "no",
                    coerces && !wrap32.empty() ? "; it does not fit in 32 bits (see above)" : "");
        std::printf("isnumeric           %s\n", zel::util::isnumeric(t) ? "yes" : "no");

        std::vector<char> hexInput(t, t + text->size() + 1);
        std::vector<char> bytes(text->size() / 2 + 2);
        const int n =
            zel::util::atoh(hexInput.data(), static_cast<int>(text->size()), bytes.data());
        std::printf("atoh                %d byte%s", n, n == 1 ? "" : "s");
        for (int k = 0; k < n; ++k)
            std::printf(" %02X", static_cast<unsigned char>(bytes[k]));
        std::printf("\n");
        return 0;
    });
}

} // namespace

unsigned int parseCount(const std::string& text, const std::string& what) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != text.npos ||
        std::stoull(text) > 4294967295ULL)
        throw UsageError(what + " must be a whole number from 0 to 4294967295: " + text);
    return static_cast<unsigned int>(std::stoull(text));
}

void addUtil(CLI::App& app) {
    addGuid(app);
    addHash(app);
    addPrime(app);
    addSplit(app);
    addNum(app);
}

} // namespace zeltool
