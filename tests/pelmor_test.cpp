#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command.h"

namespace {

struct Case {
    std::vector<std::string> args;  // after the program name
    int status;
    std::string out, err;
};

const Case cases[] = {
    {{"1000", "100"}, 0, "6.00\n", ""},
    {{"1", "32"}, 0, "2.18\n", ""},
    {{"0.01", "5"}, 0, "-0.60\n", ""},  // four is a width at least, not at most
    {{"0.1", "5"}, 0, "0.40\n", ""},
    {{"2.5", "250"}, 0, "4.20\n", ""},
    {{"1", "10km"}, 0, "1.50\n", ""},
    {{"  1e3junk", "\t100"}, 0, "6.00\n", ""},
    {{"1e-40", "5"}, 0, "-38.60\n", ""},
    // Outside 1 km to 1000 km: no magnitude, and no failure either.
    {{"1", "0.5"}, 0, "", ""},
    {{"1", "1000"}, 0, "", ""},
    {{"1", "nan"}, 0, "", ""},
    {{"1", "-inf"}, 0, "", ""},
    {{"abc", "10"}, 1, "", "illegal amplitude abc\n"},
    {{"abc", "xyz"}, 1, "", "illegal amplitude abc\n"},
    {{"", ""}, 1, "", "illegal amplitude \n"},
    {{"1", "xyz"}, 1, "", "illegal distance xyz\n"},
    {{"1", "-"}, 1, "", "illegal distance -\n"},
    // An amplitude with no logarithm is refused before the distance is read.
    {{"0", "50"}, 1, "", "illegal amplitude 0\n"},
    {{"-5", "50"}, 1, "", "illegal amplitude -5\n"},
    {{"nan", "50"}, 1, "", "illegal amplitude nan\n"},
    {{"inf", "50"}, 1, "", "illegal amplitude inf\n"},
    {{"1e99", "50"}, 1, "", "illegal amplitude 1e99\n"},
    {{"1e-50", "50"}, 1, "", "illegal amplitude 1e-50\n"},
    {{"0", "abc"}, 1, "", "illegal amplitude 0\n"},
    {{"0", "2000"}, 1, "", "illegal amplitude 0\n"},
};

const std::string usage = " <ampl> <km-distance>\n";

std::vector<std::string> with_name(const std::string &name, const std::vector<std::string> &args)
{
    std::vector<std::string> v{name};
    v.insert(v.end(), args.begin(), args.end());
    return v;
}

TEST(Pelmor, InProcess)
{
    for (const Case &c : cases)
        EXPECT_EQ(call(pelmor, with_name("pelmor", c.args)), (Outcome{c.status, 0, c.out, c.err}));
}

TEST(Pelmor, AsAProcess)
{
    for (const Case &c : cases)
        EXPECT_EQ(run(TOOL_PATH, c.args), (Outcome{c.status, 0, c.out, c.err}));
}

TEST(Pelmor, WrongNumberOfArgumentsGivesUsage)
{
    const std::vector<std::string> counts[] = {{}, {"1"}, {"1", "32", "3"}};
    for (const auto &args : counts)
        EXPECT_EQ(run(TOOL_PATH, args), (Outcome{1, 0, "", std::string("Usage: ") + TOOL_PATH + usage}));
    EXPECT_EQ(call(pelmor, {"./pm", "1"}), (Outcome{1, 0, "", "Usage: ./pm" + usage}));
    // Without argv[0] the program names itself.
    EXPECT_EQ(call(pelmor, {}), (Outcome{1, 0, "", "Usage: pelmor" + usage}));
    EXPECT_EQ(run(TOOL_PATH, {}, Output::captured, true), (Outcome{1, 0, "", "Usage: pelmor" + usage}));
}

TEST(Pelmor, OutputThatCannotBeWrittenIsAFailure)
{
    const std::string name = TOOL_PATH;
    EXPECT_EQ(run(TOOL_PATH, {"1", "32"}, Output::dev_full),
              (Outcome{1, 0, "", name + ": write error: No space left on device\n"}));
    EXPECT_EQ(run(TOOL_PATH, {"1", "32"}, Output::closed),
              (Outcome{1, 0, "", name + ": write error: Bad file descriptor\n"}));
    // With nothing to write, an unwritable output does no harm.
    EXPECT_EQ(run(TOOL_PATH, {"1", "2000"}, Output::dev_full), (Outcome{0, 0, "", ""}));
    EXPECT_EQ(run(TOOL_PATH, {"1", "2000"}, Output::closed), (Outcome{0, 0, "", ""}));
    EXPECT_EQ(run(TOOL_PATH, {"x", "1"}, Output::closed), (Outcome{1, 0, "", "illegal amplitude x\n"}));
    // A file system may report a lost write only when the file is closed.
    EXPECT_EQ(call(pelmor, {"pelmor", "1", "32"}, Fault::at_close),
              (Outcome{1, 0, "2.18\n", "pelmor: write error: Input/output error\n"}));
    EXPECT_EQ(call(pelmor, {"pelmor", "1", "32"}, Fault::every_write),
              (Outcome{1, 0, "", "pelmor: write error: Input/output error\n"}));
}

TEST(Pelmor, LongArgumentsAreReadLikeShortOnes)
{
    std::string ampl = "1" + std::string(99990, '0');  // overflows: no logarithm
    EXPECT_EQ(run(TOOL_PATH, {ampl, "32"}).status, 1);
    std::string dist = "32" + std::string(99990, 'x');
    EXPECT_EQ(run(TOOL_PATH, {"1", dist}), (Outcome{0, 0, "2.18\n", ""}));
}

}  // namespace
