// Tick count and calendar conversions of zel::util, with their misuse messages.
#include "zel/Exception.h"
#include "zel/TimeUtil.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <typeinfo>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace u = zel::util;

namespace {

struct Caught {
    bool plainException = false;
    std::vector<std::string> messages;
};

template <typename F> Caught CatchMessages(F f) {
    Caught out;
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (zel::Exception& e) {
        out.plainException = typeid(e) == typeid(zel::Exception);
        for (unsigned i = 0; i < e.getMessageTotal(); ++i)
            out.messages.push_back(e.getErrorMessage(i));
    }
    return out;
}

// Seconds since 1970 of a broken-down UTC time (days from civil).
long long FromUtcFields(const std::tm& t) {
    long long y = t.tm_year + 1900, m = t.tm_mon + 1, d = t.tm_mday;
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long long days = era * 146097 + doe - 719468;
    return days * 86400 + t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec;
}

} // namespace

TEST(TimeConversion, GmtimeAndAsctimeLayout) {
    struct Case {
        long long time;
        const char* text;
        int wday;
        int yday;
    };
    const Case cases[] = {
        {0, "Thu Jan 01 00:00:00 1970\n", 4, 0},
        {315626635, "Wed Jan 02 02:03:55 1980\n", 3, 1},
        {951868799, "Tue Feb 29 23:59:59 2000\n", 2, 59},
        {946641600, "Fri Dec 31 12:00:00 1999\n", 5, 364},
        {1667293507, "Tue Nov 01 09:05:07 2022\n", 2, 304},
        {2147483648LL, "Tue Jan 19 03:14:08 2038\n", 2, 18}, // past 32-bit time_t
        {4133980799LL, "Fri Dec 31 23:59:59 2100\n", 5, 364},
        {32535215999LL, "Wed Dec 31 23:59:59 3000\n", 3, 364}, // the last convertible second
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::tm tm;
        std::memset(&tm, 0x5A, sizeof tm);
        EXPECT_EQ(u::gmtime(&c.time, &tm), &tm);
        EXPECT_EQ(tm.tm_wday, c.wday);
        EXPECT_EQ(tm.tm_yday, c.yday);
        EXPECT_EQ(tm.tm_isdst, 0);
        EXPECT_EQ(FromUtcFields(tm), c.time);

        char buffer[40];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(u::asctime(&tm, buffer, 26), buffer);
        EXPECT_EQ(std::string(buffer, 26), std::string(c.text, 26)); // text, newline and NUL
    }
}

// Outside 1970..3000 both platforms give a zero-filled record (the Windows
// runtime refuses those times), and asctime lays out only valid fields.
TEST(TimeConversion, TimesOutsideTheConvertibleRange) {
    const long long times[] = {-1, -86400LL * 365, 32535216000LL, 0x7FFFFFFFFFFFFFFFLL};
    std::tm zero;
    std::memset(&zero, 0, sizeof zero);
    for (long long t : times) {
        SCOPED_TRACE(t);
        std::tm utc, local;
        std::memset(&utc, 0x5A, sizeof utc);
        std::memset(&local, 0x5A, sizeof local);
        EXPECT_EQ(u::gmtime(&t, &utc), &utc);
        EXPECT_EQ(u::localtime(&t, &local), &local);
        EXPECT_EQ(std::memcmp(&utc, &zero, sizeof zero), 0);
        EXPECT_EQ(std::memcmp(&local, &zero, sizeof zero), 0);
        char text[26];
        std::memset(text, '#', sizeof text);
        EXPECT_STREQ(u::asctime(&utc, text, sizeof text), "");
    }
}

TEST(TimeConversion, AsctimeOfFieldsOutOfRangeIsEmpty) {
    long long base = 951782400; // Tue Feb 29 00:00:00 2000
    std::tm good{};
    u::gmtime(&base, &good);
    struct Case {
        const char* name;
        void (*change)(std::tm&);
    };
    const Case cases[] = {
        {"month 12", [](std::tm& t) { t.tm_mon = 12; }},
        {"month -1", [](std::tm& t) { t.tm_mon = -1; }},
        {"week day 7", [](std::tm& t) { t.tm_wday = 7; }},
        {"day 0", [](std::tm& t) { t.tm_mday = 0; }},
        {"day 30 of February", [](std::tm& t) { t.tm_mday = 30; }},
        {"29 February 1900", [](std::tm& t) { t.tm_year = 0; }},
        {"hour 24", [](std::tm& t) { t.tm_hour = 24; }},
        {"minute 60", [](std::tm& t) { t.tm_min = 60; }},
        {"second -1", [](std::tm& t) { t.tm_sec = -1; }},
        {"year 10000", [](std::tm& t) { t.tm_year = 8100; }},
        {"year 1899", [](std::tm& t) { t.tm_year = -1; }},
    };
    char text[26];
    u::asctime(&good, text, sizeof text);
    EXPECT_STREQ(text, "Tue Feb 29 00:00:00 2000\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::tm bad = good;
        c.change(bad);
        std::memset(text, '#', sizeof text);
        EXPECT_STREQ(u::asctime(&bad, text, sizeof text), "");
    }
}

TEST(TimeConversion, LocaltimeIsUtcShiftedByAZoneOffset) {
    const long long times[] = {0, 951868799, 1667293507, 1700000000};
    for (long long t : times) {
        SCOPED_TRACE(t);
        std::tm local{};
        EXPECT_EQ(u::localtime(&t, &local), &local);
        long long offset = FromUtcFields(local) - t;
        EXPECT_EQ(offset % 900, 0);
        EXPECT_LE(offset < 0 ? -offset : offset, 14 * 3600);
    }
}

TEST(TimeConversion, AsctimeOfNullIsTheCurrentLocalTime) {
    // Retry when the second changes between the two readings.
    for (int attempt = 0; attempt < 5; ++attempt) {
        long long now = static_cast<long long>(std::time(nullptr));
        std::tm local{};
        u::localtime(&now, &local);
        char expected[26], actual[26];
        u::asctime(&local, expected, sizeof expected);
        u::asctime(nullptr, actual, sizeof actual);
        if (static_cast<long long>(std::time(nullptr)) != now)
            continue;
        EXPECT_STREQ(actual, expected);
        return;
    }
    FAIL() << "clock kept changing";
}

TEST(TimeConversionException, MisuseMessagesAndAnnotations) {
    struct Case {
        const char* name;
        std::function<void()> call;
        std::vector<std::string> messages;
    };
    long long zero = 0;
    std::tm tm{};
    u::gmtime(&zero, &tm);
    char buffer[32];
    const Case cases[] = {
        {"gmtime null result",
         [&] { u::gmtime(&zero, nullptr); },
         {"pGMTime is null", "strutil::gmtime: Exception caught"}},
        {"localtime null result",
         [&] { u::localtime(&zero, nullptr); },
         {"pLocalTime is null", "strutil::localtime: Exception caught"}},
        {"asctime null buffer",
         [&] { u::asctime(&tm, nullptr, 10); },
         {"buffer is null", "strutil::asctime: Exception caught"}},
        {"asctime size 25",
         [&] { u::asctime(&tm, buffer, 25); },
         {"buffer must be at least 26 characters long, actual size = 25",
          "strutil::asctime: Exception caught"}},
        {"asctime size 0",
         [&] { u::asctime(nullptr, buffer, 0); },
         {"buffer must be at least 26 characters long, actual size = 0",
          "strutil::asctime: Exception caught"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(buffer, '#', sizeof buffer);
        Caught caught = CatchMessages(c.call);
        EXPECT_TRUE(caught.plainException);
        EXPECT_EQ(caught.messages, c.messages);
        EXPECT_EQ(buffer[0], '#'); // nothing written before the check failed
    }
}

TEST(TimeConversionException, MessagesReachTheLogInOrder) {
    zeltest::TempDir dir;
    const std::string log = dir.join("log.txt");
    zel::Exception::SetErrorLogLocation(log.c_str());
    try {
        u::gmtime(nullptr, nullptr);
    } catch (zel::Exception&) {
    }
    zel::Exception::SetErrorLogLocation("");
    auto lines = zeltest::readLines(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(26), " Error: pGMTime is null");
    EXPECT_EQ(lines[1].substr(26), " Error: strutil::gmtime: Exception caught");
}

TEST(TickCount, AdvancesWithTimeAndNeverDecreases) {
    unsigned long long first = u::TickCount();
    unsigned long long previous = first;
    for (int i = 0; i < 100000; ++i) {
        unsigned long long now = u::TickCount();
        ASSERT_GE(now, previous);
        previous = now;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    unsigned long long later = u::TickCount();
    EXPECT_GE(later - first, 100u);
    EXPECT_LT(later - first, 60000u);
    EXPECT_GT(first, 0u); // counts since boot, not since the process started
}
