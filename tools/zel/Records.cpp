// JSON output of the tool: byte-exact text fields and the error log's records.
#include "Records.h"
#include "Tool.h"

#include <cstdio>
#include <cstring>

namespace zeltool {

nlohmann::ordered_json jsonText(const std::string& bytes) {
    if (validUtf8(bytes))
        return bytes;
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (const char c : bytes)
        values.push_back(static_cast<unsigned>(static_cast<unsigned char>(c)));
    return values;
}

bool bytesOfJson(const nlohmann::json& value, std::string& bytes) {
    if (value.is_string()) {
        bytes = value.get<std::string>();
        return true;
    }
    if (!value.is_array())
        return false;
    bytes.clear();
    for (const nlohmann::json& b : value) {
        if (!b.is_number_unsigned() || b.get<unsigned>() > 255)
            return false;
        bytes += static_cast<char>(b.get<unsigned>());
    }
    return true;
}

std::string jsonLine(const nlohmann::ordered_json& value) {
    // Every string put in is UTF-8 (jsonText sees to that), so the strict
    // handler never throws; ensure_ascii escapes DEL and C1 besides C0.
    return value.dump(-1, ' ', true, nlohmann::json::error_handler_t::strict);
}

namespace {

struct Prefix {
    const char* text;
    const char* kind;
};

// Longest first, so that "Mirror Error Format Error: " is not taken for "Mirror Error: ".
const Prefix kPrefixes[] = {
    {"Mirror Error Format Error: ", "Format Error"},
    {"Mirror TRACE Format Error: ", "Format Error"},
    {"Mirror Error: ", "Error"},
    {"Mirror TRACE: ", "TRACE"},
    {"Format Error: ", "Format Error"},
    {"Error: ", "Error"},
    {"NULL Method", "Other"},
};

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool digits(const std::string& s, std::size_t at, std::size_t n, bool leadingBlank, int& value) {
    value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = s[at + i];
        if (c == ' ' && leadingBlank && i == 0 && n > 1)
            continue;
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// The local time a stamp names, as ISO-8601 with the machine's UTC offset at
// that moment; the stamp itself does not say its zone. Null when the fields
// name no time.
nlohmann::ordered_json isoOfStamp(std::tm fields) {
    std::tm copy = fields;
    const std::time_t seconds = std::mktime(&copy);
    if (seconds == static_cast<std::time_t>(-1))
        return nullptr;
    // mktime settles the fields (a time in a daylight-saving change's gap moves);
    // the offset is that of the fields it settled on.
    const std::string iso = isoTime(copy, static_cast<long long>(seconds));
    return iso;
}

} // namespace

bool parseStamp(const std::string& line, std::tm& tm) {
    // "[Www Mmm dd hh:mm:ss yyyy] "; the day may have a leading blank.
    if (line.size() < kStampLength || line[0] != '[' || line[4] != ' ' || line[8] != ' ' ||
        line[11] != ' ' || line[14] != ':' || line[17] != ':' || line[20] != ' ' ||
        line[25] != ']' || line[26] != ' ')
        return false;
    int mon = -1;
    for (int m = 0; m < 12; ++m)
        if (line.compare(5, 3, kMonths[m]) == 0)
            mon = m;
    int day = 0, hour = 0, minute = 0, second = 0, year = 0;
    if (mon < 0 || !digits(line, 9, 2, true, day) || !digits(line, 12, 2, false, hour) ||
        !digits(line, 15, 2, false, minute) || !digits(line, 18, 2, false, second) ||
        !digits(line, 21, 4, false, year) || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60)
        return false;
    tm = std::tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = mon;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return true;
}

LogRecords::LogRecords(const std::string& file, const std::string& host,
                       std::function<void(const std::string&)> emit)
    : m_file(file), m_host(host), m_emit(std::move(emit)) {}

void LogRecords::line(const std::string& text) {
    std::tm tm{};
    const bool stamped = parseStamp(text, tm);
    if (!stamped && m_pending) {
        m_text += '\n';
        m_text += text;
        return;
    }
    flush();
    m_pending.reset(new nlohmann::ordered_json());
    nlohmann::ordered_json& r = *m_pending;
    std::string body = text;
    r["time"] = nullptr;
    if (stamped) {
        r["time"] = isoOfStamp(tm);
        body = text.substr(kStampLength);
    }
    std::string kind = "Other", prefix;
    for (const Prefix& p : kPrefixes) {
        if (body.compare(0, std::strlen(p.text), p.text) == 0) {
            kind = p.kind;
            prefix = p.text;
            break;
        }
    }
    r["kind"] = kind;
    r["text"] = nullptr; // filled in by flush, once every line of the message is in
    r["host"] = jsonText(m_host);
    r["file"] = jsonText(m_file);
    r["prefix"] = prefix;
    m_text = body.substr(prefix.size());
}

void LogRecords::flush() {
    if (!m_pending)
        return;
    (*m_pending)["text"] = jsonText(m_text);
    const std::string out = jsonLine(*m_pending);
    m_pending.reset();
    m_text.clear();
    m_emit(out);
}

} // namespace zeltool
