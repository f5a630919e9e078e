#include <gtest/gtest.h>

#include <cerrno>

#include <string>
#include <vector>

#include "command.h"

namespace {

struct Case {
    std::string stream, label;
};

const Case cases[] = {
    // Two pattern rules; only the first four characters are looked at.
    {"gra1-bhz", "GRF"},
    {"GRC5", "GRF"},
    {"GRA1XYZ", "GRF"},
    {"GRA6", "GRA6"},
    {"GRD1", "GRD1"},
    {"GRA0", "GRA0"},
    {"GEA0", "GERESS"},
    {"ged9,x", "GERESS"},
    {"GEE1", "GEE1"},
    {"GEA", "GEA"},
    // Each letter exact, each end of each range and the character beyond it.
    {"GRB3", "GRF"}, {"GR@1", "GR@1"}, {"GRA/", "GRA/"}, {"HRA1", "HRA1"}, {"GSA1", "GSA1"},
    {"GEB2", "GERESS"}, {"GEB:", "GEB:"}, {"GE@0", "GE@0"}, {"GEC/", "GEC/"}, {"FEA0", "FEA0"}, {"GFA0", "GFA0"},
    // The list of codes takes the whole code, nothing more, nothing less.
    {"grfo", "GRSN"},
    {"brg", "GRSN"}, {"brnl", "GRSN"}, {"bug", "GRSN"}, {"cll", "GRSN"}, {"clz", "GRSN"}, {"fur", "GRSN"},
    {"gsh", "GRSN"}, {"lid", "GRSN"}, {"mox", "GRSN"}, {"stu", "GRSN"}, {"tns", "GRSN"}, {"BRN", "BRN"},
    {"bfo,xyz", "GRSN"},
    {"Bfo-BH-Z", "GRSN"},
    {"wet-hh-z,extra", "GRSN"},
    {"BFOX", "BFOX"},
    {"stu1", "STU1"},
    // Only '-' and ',' end the code; only a to z change.
    {"bfo.x", "BFO.X"},
    {"bfo\nx-y", "BFO\nX"},
    {"\xe4\xf6z-\xff", "\xe4\xf6Z"},
    {"a`{z@[", "A`{Z@["},
    {"", ""},
    {"-bfo", ""},
    {",", ""},
};

TEST(Ostrel, InProcess)
{
    for (const Case &c : cases)
        EXPECT_EQ(call(ostrel, {"ostrel", c.stream}), (Outcome{0, 0, c.label + "\n", ""}));
}

TEST(Ostrel, AsAProcess)
{
    for (const Case &c : cases)
        EXPECT_EQ(run(TOOL_PATH, {c.stream}), (Outcome{0, 0, c.label + "\n", ""}));
}

// Many stream names in one call: each one's line, in the order given.
TEST(Ostrel, ManyStreams)
{
    std::vector<std::string> streams{"ostrel"};
    std::string labels;
    for (const Case &c : cases) {
        streams.push_back(c.stream);
        labels += c.label + "\n";
    }
    EXPECT_EQ(call(ostrel, streams), (Outcome{0, 0, labels, ""}));
    EXPECT_EQ(run(TOOL_PATH, {"bfo", "", "gra1", "-x"}), (Outcome{0, 0, "GRSN\n\nGRF\n\n", ""}));
}

TEST(Ostrel, WrongNumberOfArgumentsGivesUsage)
{
    const std::string usage = " <stream>\n";
    EXPECT_EQ(run(TOOL_PATH, {}), (Outcome{1, 0, "", std::string("Usage: ") + TOOL_PATH + usage}));
    EXPECT_EQ(call(ostrel, {"./os"}), (Outcome{1, 0, "", "Usage: ./os" + usage}));
    errno = ENOENT;  // left over from earlier work: the close's own cause is named
    EXPECT_EQ(call(ostrel, {"./os"}, Fault::quota_at_close), (Outcome{1, 0, "", "Usage: ./os" + usage + write_error("./os", EDQUOT)}));
    // Without argv[0] the program names itself.
    EXPECT_EQ(call(ostrel, {}), (Outcome{1, 0, "", "Usage: ostrel" + usage}));
    EXPECT_EQ(run(TOOL_PATH, {}, Output::captured, true), (Outcome{1, 0, "", "Usage: ostrel" + usage}));
}

TEST(Ostrel, OutputThatCannotBeWrittenIsAFailure)
{
    const std::string name = TOOL_PATH;
    EXPECT_EQ(run(TOOL_PATH, {"bfo"}, Output::dev_full), (Outcome{1, 0, "", write_error(name, ENOSPC)}));
    EXPECT_EQ(run(TOOL_PATH, {""}, Output::closed), (Outcome{1, 0, "", write_error(name, EBADF)}));
    // The usage line goes to standard error: nothing is lost.
    EXPECT_EQ(run(TOOL_PATH, {}, Output::closed), (Outcome{1, 0, "", "Usage: " + name + " <stream>\n"}));
    EXPECT_EQ(call(ostrel, {"ostrel", "bfo"}, Fault::at_close), (Outcome{1, 0, "GRSN\n", write_error("ostrel", EIO)}));
    EXPECT_EQ(call(ostrel, {"ostrel", "bfo"}, Fault::every_write), (Outcome{1, 0, "", write_error("ostrel", EDQUOT)}));
    EXPECT_EQ(call(ostrel, {"ostrel", "bfo", "wet"}, Fault::every_write), (Outcome{1, 0, "", write_error("ostrel", EDQUOT)}));
    std::vector<std::string> many(20000, "gra1-bhz");
    EXPECT_EQ(run(TOOL_PATH, many, Output::dev_full), (Outcome{1, 0, "", write_error(name, ENOSPC)}));
    EXPECT_EQ(call(ostrel, {"ostrel", "bfo", "wet"}, Fault::at_close), (Outcome{1, 0, "GRSN\nGRSN\n", write_error("ostrel", EIO)}));
    // A write that fails as a full non-blocking pipe's ends the writing; with empty labels, at a newline.
    EXPECT_EQ(call(ostrel, std::vector<std::string>(20000, ""), Fault::first_write), (Outcome{1, 0, "", write_error("ostrel", EAGAIN)}));
}

TEST(Ostrel, LongNamesAreHeldWhole)
{
    std::string code(5000, 'x'), label(5000, 'X');
    EXPECT_EQ(call(ostrel, {"ostrel", code + "-bhz"}), (Outcome{0, 0, label + "\n", ""}));
    EXPECT_EQ(call(ostrel, {"ostrel", "gra1" + code}), (Outcome{0, 0, "GRF\n", ""}));
    EXPECT_EQ(call(ostrel, {"ostrel", "bfo-" + code}), (Outcome{0, 0, "GRSN\n", ""}));
    std::string huge(100000, 'q');
    EXPECT_EQ(run(TOOL_PATH, {huge}), (Outcome{0, 0, std::string(100000, 'Q') + "\n", ""}));
}

}  // namespace
