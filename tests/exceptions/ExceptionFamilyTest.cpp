// The six derived classes: their fixed texts, copies and the rethrow type rules.
#include "zel/Exception.h"

#include "LogTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

using logtest::LogFileTest;
using logtest::Messages;

namespace {

// Throws `e` by value, passes it through rethrow, and reports which handler took it.
template <typename X>
std::string CaughtAfterRethrow(const X& e, std::vector<std::string>& messages) {
    try {
        try {
            throw e;
        } catch (zel::Exception& caught) {
            caught.rethrow();
        }
    } catch (X& own) {
        messages = Messages(own);
        return "own";
    } catch (zel::Exception& base) {
        messages = Messages(base);
        return typeid(base) == typeid(zel::Exception) ? "Exception" : typeid(base).name();
    }
    return "none";
}

} // namespace

using ExceptionFamily = LogFileTest;

TEST_F(ExceptionFamily, FixedMessageTexts) {
    struct Case {
        const char* name;
        std::function<zel::Exception()> make;
        const char* text;
    };
    const Case cases[] = {
        {"BadParameter", [] { return zel::BadParameterException("mode", "fast"); },
         "Parameter \"mode\" value \"fast\" is unrecognized; perhaps your system components need "
         "updating?"},
        {"BadParameter null", [] { return zel::BadParameterException(nullptr, nullptr); },
         "Parameter \"(null)\" value \"(null)\" is unrecognized; perhaps your system components "
         "need updating?"},
        {"InvalidIndex 5,3", [] { return zel::InvalidIndexException(5, 3); },
         "An invalid index value (5) has been detected; legal values are between 0 and 3"},
        {"InvalidIndex 1,0", [] { return zel::InvalidIndexException(1, 0); },
         "An invalid index value (1) has been detected; legal values are between 0 and 0"},
        {"InvalidIndex 0,-1", [] { return zel::InvalidIndexException(0, -1); },
         "An invalid index value (0) has been detected; there are zero items"},
        {"InvalidIndex 7,2,4", [] { return zel::InvalidIndexException(7, 2, 4); },
         "An invalid index value (7) has been detected; legal values are between 2 and 4"},
        {"InvalidIndex 7,4,2", [] { return zel::InvalidIndexException(7, 4, 2); },
         "An invalid index value (7) has been detected; there are zero items"},
        {"InvalidIndex -3,-5,-4", [] { return zel::InvalidIndexException(-3, -5, -4); },
         "An invalid index value (-3) has been detected; legal values are between -5 and -4"},
        {"Memory", [] { return zel::MemoryException(); }, "No more memory is available."},
        {"NotImplemented", [] { return zel::NotImplementedException("IStream"); },
         "Unsupported interface: IStream"},
        {"NotImplemented null", [] { return zel::NotImplementedException(nullptr); },
         "Unsupported interface: "},
        {"OutOfRange", [] { return zel::OutOfRangeException("Table", 0, 9, 12); },
         "Table: Index \"12\" out of range: [0,9]"},
        {"OutOfRange null", [] { return zel::OutOfRangeException(nullptr, -1, 1, 2); },
         "(null): Index \"2\" out of range: [-1,1]"},
        {"Timeout", [] { return zel::TimeoutException(); },
         "Operation has overrun its specified timeout limit."},
        {"Timeout format", [] { return zel::TimeoutException("waited %d ms for %s", 250, "disk"); },
         "waited 250 ms for disk"},
    };
    std::vector<std::string> expectedLog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zel::Exception e = c.make();
        EXPECT_EQ(Messages(e), std::vector<std::string>{c.text});
        expectedLog.push_back(std::string("Error: ") + c.text);
    }
    // Each construction logged its message once; the copies logged nothing.
    ExpectLog(expectedLog);
}

TEST_F(ExceptionFamily, TimeoutWithEmptyFormatPushesNothing) {
    zel::TimeoutException e("");
    EXPECT_EQ(e.getMessageTotal(), 0u);
    ExpectLog({"Format Error: "});
}

// Host code copy-initialises these from a text, so the constructors that take one
// must not be explicit.
static_assert(std::is_convertible<const char*, zel::Exception>::value, "Exception from a text");
static_assert(std::is_convertible<const char*, zel::NotImplementedException>::value,
              "NotImplementedException from a text");
static_assert(std::is_convertible<const char*, zel::TimeoutException>::value,
              "TimeoutException from a text");

TEST_F(ExceptionFamily, CopyInitialisedFromAText) {
    zel::Exception plain = "disk full";
    zel::NotImplementedException missing = "IStream";
    zel::TimeoutException late = "waited 5 s";
    auto thrown = []() -> zel::TimeoutException { return "late reply"; };
    EXPECT_EQ(Messages(plain), std::vector<std::string>{"disk full"});
    EXPECT_EQ(Messages(missing), std::vector<std::string>{"Unsupported interface: IStream"});
    EXPECT_EQ(Messages(late), std::vector<std::string>{"waited 5 s"});
    EXPECT_EQ(Messages(thrown()), std::vector<std::string>{"late reply"});
}

// Only TimeoutException keeps its type through rethrow; every other class
// arrives as a plain Exception carrying its messages.
TEST_F(ExceptionFamily, RethrowTypeRules) {
    std::vector<std::string> m;
    EXPECT_EQ(CaughtAfterRethrow(zel::TimeoutException(), m), "own");
    EXPECT_EQ(m, std::vector<std::string>{"Operation has overrun its specified timeout limit."});
    EXPECT_EQ(CaughtAfterRethrow(zel::TimeoutException("t%d", 1), m), "own");
    EXPECT_EQ(m, std::vector<std::string>{"t1"});
    EXPECT_EQ(CaughtAfterRethrow(zel::MemoryException(), m), "Exception");
    EXPECT_EQ(m, std::vector<std::string>{"No more memory is available."});
    EXPECT_EQ(CaughtAfterRethrow(zel::InvalidIndexException(5, 3), m), "Exception");
    EXPECT_EQ(m.size(), 1u);
    EXPECT_EQ(CaughtAfterRethrow(zel::BadParameterException("p", "v"), m), "Exception");
    EXPECT_EQ(CaughtAfterRethrow(zel::NotImplementedException("x"), m), "Exception");
    EXPECT_EQ(CaughtAfterRethrow(zel::OutOfRangeException("n", 0, 1, 2), m), "Exception");

    // A TimeoutException rethrown is also an Exception.
    bool asBase = false;
    try {
        zel::TimeoutException t;
        t.rethrow();
    } catch (zel::Exception& e) {
        asBase = dynamic_cast<zel::TimeoutException*>(&e) != nullptr;
    }
    EXPECT_TRUE(asBase);
}

TEST_F(ExceptionFamily, CopiesAndMovesKeepTheSourceAndLogNothing) {
    zel::MemoryException source;
    source.appendMessage("extra");

    zel::MemoryException moved(std::move(source));
    EXPECT_EQ(Messages(source),
              (std::vector<std::string>{"No more memory is available.", "extra"}));
    EXPECT_EQ(Messages(moved), Messages(source));

    zel::MemoryException assigned;
    assigned = std::move(source);
    EXPECT_EQ(Messages(source).size(), 2u);
    EXPECT_EQ(Messages(assigned), Messages(source));

    zel::TimeoutException t1("a");
    zel::TimeoutException t2;
    t2 = t1;
    EXPECT_EQ(Messages(t2), std::vector<std::string>{"a"});
    zel::TimeoutException t3(std::move(t1));
    EXPECT_EQ(Messages(t1), std::vector<std::string>{"a"});

    // Only constructions that push wrote lines.
    ExpectLog({"Error: No more memory is available.", "Error: extra",
               "Error: No more memory is available.", "Error: a",
               "Error: Operation has overrun its specified timeout limit."});
}
