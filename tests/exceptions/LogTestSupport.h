// Helpers of the exception tests: a private log file and exact checks of its lines.
#pragma once

#include "zel/Exception.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace logtest {

// The line end on disk: text mode on Windows writes CR LF.
#ifdef _WIN32
inline const std::string kEol = "\r\n";
#else
inline const std::string kEol = "\n";
#endif

// "[Www Mmm dd hh:mm:ss yyyy] " at the start of a line.
inline const std::regex& StampPattern() {
    static const std::regex re(
        "^\\[(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
        "(0[1-9]|[12][0-9]|3[01]) ([01][0-9]|2[0-3]):[0-5][0-9]:[0-6][0-9] [0-9]{4}\\] ");
    return re;
}

// The local time stamps of every second from `from` to `to`, laid out independently
// of the library (strftime in the C locale).
inline std::set<std::string> StampsBetween(std::time_t from, std::time_t to) {
    std::set<std::string> out;
    for (std::time_t t = from; t <= to; ++t) {
        char text[64];
        std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", std::localtime(&t));
        out.insert(text);
    }
    return out;
}

// Checks that `raw` is exactly the given lines, each "[stamp] " + text + line end,
// with every stamp a local time between `from` and `to`. Line feeds inside a text
// are written as line ends too.
inline void ExpectExactLines(const std::string& raw, const std::vector<std::string>& texts,
                             std::time_t from, std::time_t to) {
    const std::set<std::string> stamps = StampsBetween(from, to);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i) + ": " + texts[i]);
        std::string text;
        for (char c : texts[i]) {
            if (c == '\n')
                text += kEol;
            else
                text += c;
        }
        ASSERT_LE(pos + 27 + text.size() + kEol.size(), raw.size());
        std::string head = raw.substr(pos, 27);
        ASSERT_TRUE(std::regex_search(head, StampPattern())) << head;
        EXPECT_EQ(stamps.count(raw.substr(pos + 1, 24)), 1u) << raw.substr(pos + 1, 24);
        EXPECT_EQ(raw.substr(pos + 27, text.size() + kEol.size()), text + kEol);
        pos += 27 + text.size() + kEol.size();
    }
    EXPECT_EQ(pos, raw.size()) << "unexpected text after the lines: " << raw.substr(pos);
}

// Points the error log at a file of a fresh temporary folder for one test and
// returns it to the default location afterwards.
class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = m_dir.join("ZELTest.log");
        zel::Exception::SetErrorLogLocation(m_path.c_str());
        m_from = std::time(nullptr);
    }
    void TearDown() override {
        zel::Exception::SetErrorLogLocation("");
        zel::Exception::SetMirrorErrorLog(false);
    }
    std::string raw() const { return zeltest::readFile(m_path); }
    std::vector<std::string> lines() const { return zeltest::readLines(m_path); }
    // Every line written since SetUp, exactly.
    void ExpectLog(const std::vector<std::string>& texts) const {
        ExpectExactLines(raw(), texts, m_from, std::time(nullptr));
    }
    // The text after the stamp of each line.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (auto& l : lines())
            out.push_back(l.size() >= 27 ? l.substr(27) : "<short line>" + l);
        return out;
    }

    zeltest::TempDir m_dir;
    std::string m_path;
    std::time_t m_from = 0;
};

// Makes the protected MirrorErrorMessage reachable, as a derived class of a host would.
class MirrorProbe : public zel::Exception {
public:
    static void Mirror(const char* method, const char* message, bool force) {
        MirrorErrorMessage(method, message, force);
    }
};

// The message texts of an exception, oldest first.
inline std::vector<std::string> Messages(const zel::Exception& e) {
    std::vector<std::string> out;
    for (unsigned i = 0; i < e.getMessageTotal(); ++i)
        out.push_back(e.getErrorMessage(i));
    return out;
}

} // namespace logtest
