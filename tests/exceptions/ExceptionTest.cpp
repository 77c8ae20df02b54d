// The instance side of Exception: the message stack, copies, delayed logging,
// rethrow and the catch-and-annotate pattern.
#include "zel/Exception.h"

#include "LogTestSupport.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using logtest::LogFileTest;
using logtest::Messages;

namespace {

std::vector<std::string> Locations(zel::Exception& e) {
    std::vector<std::string> m, l;
    e.dumpStack(m, l, false);
    return l;
}

} // namespace

static_assert(!std::is_base_of<std::exception, zel::Exception>::value,
              "the family stands apart from the standard exceptions");

using ExceptionStack = LogFileTest;

TEST_F(ExceptionStack, PushesFormattedMessagesAndLogsEach) {
    zel::Exception e("open %s failed (%d)", "a.txt", 5);
    e.appendMessage("%s::%s: Exception caught", "Comp", "Fn");
    EXPECT_EQ(Messages(e),
              (std::vector<std::string>{"open a.txt failed (5)", "Comp::Fn: Exception caught"}));
    EXPECT_STREQ(e.getAt(), "open a.txt failed (5)");
    ExpectLog({"Error: open a.txt failed (5)", "Error: Comp::Fn: Exception caught"});
}

TEST_F(ExceptionStack, EmptyOrNullFormatPushesNothingAndLogsAFormatError) {
    zel::Exception empty("");
    EXPECT_EQ(empty.getMessageTotal(), 0u);
    EXPECT_EQ(empty.getAt(), nullptr);
    zel::Exception fromNull(nullptr);
    EXPECT_EQ(fromNull.getMessageTotal(), 0u);
    zel::Exception e;
    e.appendMessage("%s", ""); // formats to nothing: the raw format is logged
    EXPECT_EQ(e.getMessageTotal(), 0u);
    e.setDelayedLogging(true);
    e.appendMessage(""); // logged although delayed
    e.setDelayedLogging(false);
    ExpectLog({"Format Error: ", "Format Error: ", "Format Error: %s", "Format Error: "});
}

TEST_F(ExceptionStack, MessageIsCutAt7999Characters) {
    struct Case {
        std::size_t length;
        std::size_t kept;
    };
    const Case cases[] = {{7998, 7998}, {7999, 7999}, {8000, 7999}, {10000, 7999}};
    std::vector<std::string> expectedLog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text(c.length, 'x');
        text[0] = 'a';
        zel::Exception e("%s", text.c_str());
        ASSERT_EQ(e.getMessageTotal(), 1u);
        EXPECT_EQ(std::string(e.getAt()), text.substr(0, c.kept));
        expectedLog.push_back("Error: " + text.substr(0, c.kept));
    }
    // Also when the length comes from the formatting itself.
    zel::Exception wide("%9000d", 7);
    EXPECT_EQ(std::string(wide.getAt()), std::string(7999, ' '));
    expectedLog.push_back("Error: " + std::string(7999, ' '));
    ExpectLog(expectedLog);
}

TEST_F(ExceptionStack, NarrowAndWideTextConversions) {
    zel::Exception e("%hs and %ls and %s", "narrow", L"wide", "plain");
    EXPECT_STREQ(e.getAt(), "narrow and wide and plain");
}

TEST_F(ExceptionStack, QueriesOutsideTheStack) {
    zel::Exception e("one");
    EXPECT_STREQ(e.getErrorMessage(1), "");
    EXPECT_STREQ(e.getErrorMessage(0xFFFFFFFFu), "");
    zel::Exception none;
    EXPECT_NE(none.getErrorMessage(0), nullptr);
    EXPECT_STREQ(none.getErrorMessage(0), "");
    EXPECT_EQ(none.getAt(), nullptr);
}

TEST_F(ExceptionStack, MessageBlockJoinsWithTheSeparator) {
    struct Case {
        std::vector<std::string> messages;
        const char* separator;
        std::string block;
    };
    const Case cases[] = {
        {{"a", "b", "c"}, "; ", "a; b; c"},
        {{"a"}, "; ", "a"},
        {{}, "; ", ""},
        {{"a", "b"}, "", "ab"},
        {{"a", "b", "c"}, nullptr, "abc"}, // a null separator joins with nothing
        {{"only"}, nullptr, "only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.block);
        zel::Exception e;
        for (auto& m : c.messages)
            e.appendMessage("%s", m.c_str());
        const char* block = e.getCharErrorMessageBlock(c.separator);
        EXPECT_EQ(std::string(block), c.block);
        // Built afresh every time.
        EXPECT_EQ(std::string(e.getCharErrorMessageBlock("|")),
                  c.messages.size() > 1 ? std::string() + c.messages[0] + "|" + c.messages[1] +
                                              (c.messages.size() > 2 ? "|" + c.messages[2] : "")
                                        : c.block);
    }
}

TEST_F(ExceptionStack, LocationsBelongToTheNewestMessage) {
    zel::Exception e;
    e.defineLocation("nowhere"); // no messages: nothing happens
    EXPECT_EQ(e.getMessageTotal(), 0u);
    e.appendMessage("first");
    e.defineLocation("L1");
    e.defineLocation("L2");
    EXPECT_EQ(Locations(e), (std::vector<std::string>{"L2"}));
    e.appendMessage("second");
    EXPECT_EQ(Locations(e), (std::vector<std::string>{"L2", ""}));
    e.defineLocation(nullptr); // a null location is an empty one
    EXPECT_EQ(Locations(e), (std::vector<std::string>{"L2", ""}));
    // Locations never reach the log.
    ExpectLog({"Error: first", "Error: second"});
}

TEST_F(ExceptionStack, DumpStackResizesAndOptionallyClears) {
    zel::Exception e("m1");
    e.defineLocation("l1");
    e.appendMessage("m2");
    std::vector<std::string> msgs{"x", "y", "z", "w"}, locs{"q"};
    e.dumpStack(msgs, locs, false);
    EXPECT_EQ(msgs, (std::vector<std::string>{"m1", "m2"}));
    EXPECT_EQ(locs, (std::vector<std::string>{"l1", ""}));
    EXPECT_EQ(e.getMessageTotal(), 2u);
    e.dumpStack(msgs, locs, true);
    EXPECT_EQ(msgs.size(), 2u);
    EXPECT_EQ(e.getMessageTotal(), 0u);
    e.dumpStack(msgs, locs, true);
    EXPECT_TRUE(msgs.empty());
    EXPECT_TRUE(locs.empty());
    e.appendMessage("still usable");
    EXPECT_EQ(e.getMessageTotal(), 1u);
}

TEST_F(ExceptionStack, CopiesAssignmentsAndMovesCopyWithoutLogging) {
    zel::Exception a("m1");
    a.defineLocation("loc");
    a.appendMessage("m2");
    a.setDelayedLogging(true);

    zel::Exception copy(a);
    EXPECT_EQ(Messages(copy), Messages(a));
    EXPECT_EQ(Locations(copy), Locations(a));

    zel::Exception target("t1");
    target.appendMessage("t2");
    target.appendMessage("t3");
    target = a;
    EXPECT_EQ(Messages(target), Messages(a));
    EXPECT_EQ(Locations(target), (std::vector<std::string>{"loc", ""}));

    zel::Exception moved(std::move(a)); // no move constructor: a copy
    EXPECT_EQ(Messages(moved), Messages(a));
    EXPECT_EQ(a.getMessageTotal(), 2u);

    zel::Exception& alias = target;
    target = alias; // self-assignment keeps everything
    EXPECT_EQ(Messages(target), (std::vector<std::string>{"m1", "m2"}));

    // Copies start with delayed logging off: destroying them writes nothing.
    a.setDelayedLogging(false);
    const std::string afterTarget = raw();
    {
        zel::Exception c2(a);
        zel::Exception c3;
        c3 = a;
        a.setDelayedLogging(true);
        zel::Exception c4(a);
        a.setDelayedLogging(false);
    }
    EXPECT_EQ(raw(), afterTarget);
    ExpectLog({"Error: m1", "Error: m2", "Error: t1", "Error: t2", "Error: t3"});
}

TEST_F(ExceptionStack, AssignmentKeepsTheTargetsDelayedFlag) {
    zel::Exception source("s");
    source.setDelayedLogging(true);
    {
        zel::Exception target;
        target = source; // target's flag stays off
    }
    source.setDelayedLogging(false);
    ExpectLog({"Error: s"});

    {
        zel::Exception delayedTarget;
        delayedTarget.setDelayedLogging(true);
        delayedTarget = source;                        // and stays on here
        zel::Exception sink(std::move(delayedTarget)); // a copy: flag off, writes nothing
    }
    ExpectLog({"Error: s", "Error: s"});
}

TEST_F(ExceptionStack, DelayedLoggingWritesAllMessagesAtDestruction) {
    {
        zel::Exception e("first");
        ExpectLog({"Error: first"});
        e.setDelayedLogging(true);
        e.appendMessage("second");
        ExpectLog({"Error: first"});
    }
    ExpectLog({"Error: first", "Error: first", "Error: second"});

    // Switched off again before destruction: nothing more is written.
    {
        zel::Exception e("third");
        e.setDelayedLogging(true);
        e.appendMessage("fourth");
        e.setDelayedLogging(false);
    }
    // Cleared by dumpStack: nothing left to write.
    {
        zel::Exception e;
        e.setDelayedLogging(true);
        e.appendMessage("fifth");
        std::vector<std::string> m, l;
        e.dumpStack(m, l, true);
    }
    ExpectLog({"Error: first", "Error: first", "Error: second", "Error: third"});
}

TEST_F(ExceptionStack, MirrorAllMessagesWritesEveryMessageAgain) {
    zel::Exception e("a");
    e.appendMessage("b");
    e.defineLocation("where");
    e.mirrorAllMessages();
    ExpectLog({"Error: a", "Error: b", "Error: a", "Error: b"});
}

// The catch-and-annotate pattern with delayed logging on the innermost object:
// the annotation is written only when the caught object dies; the copy thrown on
// logs at once.
TEST_F(ExceptionStack, CatchAndAnnotateWithDelayedLogging) {
    auto inner = [] {
        try {
            throw zel::Exception("root cause");
        } catch (zel::Exception& e) {
            e.setDelayedLogging(true); // the thrown copy starts with it off
            e.appendMessage("%s::%s: Exception caught", "Inner", "Run");
            e.rethrow();
        }
    };
    std::vector<std::string> held;
    try {
        try {
            inner();
        } catch (zel::Exception& e) {
            e.appendMessage("%s::%s: Exception caught", "Outer", "Run");
            e.rethrow();
        }
    } catch (zel::Exception& e) {
        held = Messages(e);
    }
    EXPECT_EQ(held, (std::vector<std::string>{"root cause", "Inner::Run: Exception caught",
                                              "Outer::Run: Exception caught"}));
    ExpectLog({"Error: root cause", "Error: root cause", "Error: Inner::Run: Exception caught",
               "Error: Outer::Run: Exception caught"});
}

TEST_F(ExceptionStack, SevereErrorFormForOtherExceptions) {
    std::vector<std::string> held;
    try {
        try {
            throw 42;
        } catch (zel::Exception& e) {
            e.rethrow();
        } catch (...) {
            throw zel::Exception("%s::%s: Severe error caught", "Comp", "Fn");
        }
    } catch (zel::Exception& e) {
        held = Messages(e);
    }
    EXPECT_EQ(held, (std::vector<std::string>{"Comp::Fn: Severe error caught"}));
    ExpectLog({"Error: Comp::Fn: Severe error caught"});
}
