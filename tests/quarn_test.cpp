#include <gtest/gtest.h>

#include <cerrno>

#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include "command.h"
#include "quarn.h"

namespace {

using quarn_sizes::piece_max;

// A catalogue record with the resolution mark right after the opening quote.
std::string record(const std::string &id, const std::string &region, const std::string &end = "\n")
{
    return id + " \"30sec test\" \"m\" -R" + region + " -I30s" + end;
}

const std::string sq = record("7", "-10/10/40/50");  // the square of the examples below
const std::string both = record("3", "0/1/0/1") + record("4", "0/1/0/1", "\r\n");

struct Case {
    std::string catalogue;
    std::string lat, lon;
    std::string out, err;  // status 0 when err is empty, else 255
};

const Case cases[] = {
    {sq, "45", "0", "7\n", ""},
    {sq, "40", "0", "7\n", ""},  // bounds are inside
    {sq, "50", "0", "7\n", ""},
    {sq, "45", "10", "7\n", ""},
    {sq, "45", "-10", "7\n", ""},
    {sq, "50.5", "0", "", ""},
    {sq, "45", "-10.5", "", ""},
    // The mark sits where a one- or two-digit identifier leaves it.
    {record("12", "-10/10/40/50"), "45", "0", "12\n", ""},
    {record("123", "-10/10/40/50"), "45", "0", "", ""},
    {record(" 9", "-10/10/40/50"), "45", "0", "9\n", ""},
    {record("-5", "-10/10/40/50"), "45", "0", "-5\n", ""},
    {record("x", "-10/10/40/50"), "45", "0", "", ""},
    {"1 \"5min test\" \"m\" -R-10/10/40/50 -I5m\n", "45", "0", "", ""},
    {"7 \"30seX test\" -R-10/10/40/50\n12 \"30seX test\" -R-10/10/40/50\n", "45", "0", "", ""},
    {"7 \"X0sec test\" -R-10/10/40/50\n12 \"X0sec test\" -R-10/10/40/50\n", "45", "0", "", ""},
    {"7 \"30sec test\" \"m\" -I30s\n", "45", "0", "", ""},
    // Only four plain numbers make a region, and only finite ones.
    {record("7", "0/359:55/-90/90"), "45", "0", "", ""},
    {record("7", "0/360/-90/90"), "0", "-10", "", ""},
    {record("7", "0/360/-90/90"), "0", "350", "7\n", ""},
    {record("7", "-10/10/40"), "45", "0", "", ""},
    {record("7", "-10/10/40,50"), "45", "0", "", ""},
    {record("7", "-10/10/40/50/99"), "45", "0", "7\n", ""},
    {record("7", "0/1/1234567/123456789"), "99999999", "0", "7\n", ""},
    {record("7", "nan/10/40/50"), "45", "0", "", ""},
    {record("7", "-inf/inf/-90/90"), "45", "0", "", ""},
    {record("7", "-1e39/10/40/50"), "45", "0", "", ""},
    {record("7", "-1e1/1e1/4e1/5e1"), "45", "0", "7\n", ""},
    {record("7", " -10/ +10/\t40/ 50"), "45", "0", "7\n", ""},
    {record("7", "0x0/0x10/0/1."), "0.5", "16", "7\n", ""},
    {record("7", "-0/+0/12345678/12345679"), "12345678", "0", "7\n", ""},
    {record("7", "11/19/41/50") + record("8", "11,19,41,50"), "45", "15", "7\n", ""},
    // A fraction or an empty number in any bound, and the identifier in decimals.
    {record("1", "10.5/11/40/50") + record("2", "9/10.5/40/50") + record("3", "9/11/45.5/50") + record("4", "9/11/40/45.5"),
     "45.25", "10.25", "2\n4\n", ""},
    {record("5", "/1/-1/1") + record("6", "-1//-1/1") + record("7", "-1/1//1") + record("8", "-1/1/-1/") + record("09", "-1/1/-1/1") + record("1", "///"),
     "0", "0", "9\n", ""},
    {"7 \"30sec test\" -R-10/10/40/50 -R0/1/0/1\n", "45", "0", "7\n", ""},  // the first -R counts
    // Length with the newline: 19 is too short, 20 is enough.
    {"7 \"30sec\"-R0/1/0/1\n", "0.5", "0.5", "", ""},
    {"7 \"30sec\" -R0/1/0/1\n", "0.5", "0.5", "7\n", ""},
    {"7 \"30sec\" -R0/1/0/1", "0.5", "0.5", "", ""},  // no newline at the end
    {"7 \"30sec\"  -R0/1/0/1", "0.5", "0.5", "7\n", ""},
    {"# 7 \"30sec\" -R0/1/0/1\n\n" + both + "7#\"30sec\" -R0/1/0/1\n# end", "0.5", "0.5", "3\n4\n7\n", ""},
    {both + record("5", "0/1/0/1", ""), "0.5", "0.5", "3\n4\n5\n", ""},
    {"", "0", "0", "", ""},
    // Coordinates as "%f" reads them; one that is not finite would match any region.
    {record("7", "0/1/12.5/13"), "12.5N", "0.5E", "7\n", ""},
    {record("7", "0/1/12.5/13"), " +1.25e1xyz", "\t.5", "7\n", ""},
    {record("7", "0/1/12.5/13"), "12.4N", "0.5", "", ""},
    {sq, "abc", "xyz", "", "error reading latitude\n"},
    {sq, "", "", "", "error reading latitude\n"},
    {sq, "45", "xyz", "", "error reading longitude\n"},
    {sq, "45", "", "", "error reading longitude\n"},
    {sq, "45", "infin", "", "error reading longitude\n"},
    {sq, "nan", "0", "", "error reading latitude\n"},
    {sq, "1e99", "0", "", "error reading latitude\n"},
    {sq, "45", "infinity", "", "error reading longitude\n"},
#ifdef __GLIBC__
    // glibc's "%f" takes the "0x" of a hexadecimal number without digits and
    // then reads nothing, and reads the 1 of "1e/"; other C libraries may not.
    {record("7", "0/1/-1/0x"), "0", "0.5", "", ""},
    {record("7", "0/1/1/2"), "1e/", "0.5", "7\n", ""},
    {sq, "0x", "0", "", "error reading latitude\n"},
#endif
};

std::vector<std::string> args(const std::string &name, const Case &c, const std::string &path)
{
    return {name, c.lat, c.lon, path};
}

Outcome expect(const Case &c)
{
    return Outcome{c.err.empty() ? 0 : 255, 0, c.out, c.err};
}

TEST(Quarn, InProcess)
{
    for (const Case &c : cases) {
        TempFile f(c.catalogue);
        EXPECT_EQ(call(quarn, args("quarn", c, f.path())), expect(c)) << c.catalogue;
    }
}

TEST(Quarn, AsAProcess)
{
    for (const Case &c : cases) {
        TempFile f(c.catalogue);
        EXPECT_EQ(run(TOOL_PATH, {c.lat, c.lon, f.path(), "ignored"}), expect(c)) << c.catalogue;
    }
}

// A line is one record however long it is: judged by its first piece,
// never by a later piece that happens to look like a record.
TEST(Quarn, LongLinesAreJudgedOnce)
{
    const std::string fragment = record("9", "0/1/0/1");
    const std::string after = record("3", "0/1/0/1");
    struct {
        std::string catalogue, out;
    } lines[] = {
        {std::string(piece_max, 'x') + fragment + after, "3\n"},
        {std::string(piece_max - 1, 'x') + "\n" + fragment, "9\n"},
        {std::string(piece_max, 'x') + "\n" + fragment, "9\n"},
        {std::string(piece_max + 1, 'x') + "\n" + fragment, "9\n"},
        {std::string(99999, 'x') + "\n" + fragment, "9\n"},
        {std::string(piece_max, 'x') + fragment, ""},
        {"8 \"30sec" + std::string(piece_max - 20, 'x') + "\" -R0/1/0/0.7\n9 \"30sec" + std::string(piece_max - 21, 'x') + "\" -R0/1/0/0.7\n", "9\n"},
        {record("5", "0/1/0/1 " + std::string(piece_max, 'y')) + after, "5\n3\n"},
        {record("5", "0/1/0/1 " + std::string(piece_max, 'y'), ""), "5\n"},
    };
    // 100,000 characters whose every later piece would match if judged alone.
    std::string piece = fragment.substr(0, fragment.size() - 1);
    piece.resize(piece_max, ' ');
    std::string huge(piece_max, 'x');
    while (huge.size() + piece.size() <= 100000)
        huge += piece;

    for (const auto &l : lines) {
        TempFile f(l.catalogue);
        EXPECT_EQ(call(quarn, {"quarn", "0.5", "0.5", f.path()}), (Outcome{0, 0, l.out, ""}));
    }
    TempFile f(huge + "\n" + after);
    EXPECT_EQ(run(TOOL_PATH, {"0.5", "0.5", f.path()}), (Outcome{0, 0, "3\n", ""}));
}

// A NUL ends the text a record is judged by, as the string functions see it;
// the line still ends at its newline, so the lines around it are unaffected.
TEST(Quarn, NulEndsTheJudgedTextButNotTheLine)
{
    using namespace std::string_literals;
    const std::string after = record("3", "0/1/0/1");
    struct {
        std::string catalogue, out;
    } lines[] = {
        {record("5", "0/1/0/1", "\0 tail\n"s) + after, "5\n3\n"},
        {"5 \"30sec test\" \"m\"\0 -R0/1/0/1\n"s + after, "3\n"},
        {("\0"s += record("5", "0/1/0/1")) + after, "3\n"},
        {"junk\0\n"s + after, "3\n"},
        {"junk\0"s + std::string(piece_max, 'x') + "\n" + after, "3\n"},
        {"7 \"30sec\" -R0/1\0/0/1\n"s + after, "3\n"},
    };
    for (const auto &l : lines) {
        TempFile f(l.catalogue);
        EXPECT_EQ(call(quarn, {"quarn", "0.5", "0.5", f.path()}), (Outcome{0, 0, l.out, ""}));
    }
}

TEST(Quarn, ExampleCatalogue)
{
    const std::string info = EXAMPLES_DIR "/grdraster.info";
    EXPECT_EQ(run(TOOL_PATH, {"45", "10", info}), (Outcome{0, 0, "7\n8\n", ""}));
    EXPECT_EQ(run(TOOL_PATH, {"40", "-5", info}), (Outcome{0, 0, "12\n", ""}));
    EXPECT_EQ(run(TOOL_PATH, {"60", "15", info}), (Outcome{0, 0, "", ""}));
}

const std::string usage = " <lat> <lon> [<grdinfofile>]\n";

TEST(Quarn, WrongNumberOfArgumentsGivesUsage)
{
    EXPECT_EQ(run(TOOL_PATH, {}), (Outcome{255, 0, "", "Usage: " TOOL_PATH + usage}));
    EXPECT_EQ(run(TOOL_PATH, {"45"}), (Outcome{255, 0, "", "Usage: " TOOL_PATH + usage}));
    EXPECT_EQ(call(quarn, {"./qn", "45"}), (Outcome{255, 0, "", "Usage: ./qn" + usage}));
    errno = ENOENT;  // left over from earlier work: the close's own cause is named
    EXPECT_EQ(call(quarn, {"./qn", "45"}, Fault::quota_at_close), (Outcome{255, 0, "", "Usage: ./qn" + usage + write_error("./qn", EDQUOT)}));
    // Without argv[0] the program names itself.
    EXPECT_EQ(call(quarn, {}), (Outcome{255, 0, "", "Usage: quarn" + usage}));
    EXPECT_EQ(call(quarn, {"", "45"}), (Outcome{255, 0, "", "Usage: quarn" + usage}));
    EXPECT_EQ(run(TOOL_PATH, {}, Output::captured, true), (Outcome{255, 0, "", "Usage: quarn" + usage}));
}

TEST(Quarn, CataloguesThatCannotBeRead)
{
    struct stat st;
    if (stat(QUARN_CATALOGUE, &st) != 0) {  // the built-in path, reported in full
        EXPECT_EQ(run(TOOL_PATH, {"45", "0"}),
                  (Outcome{255, 0, "", TOOL_PATH ": cannot open input file " QUARN_CATALOGUE "\n"}));
    }
    const std::string missing = "/nonexistent/" + std::string(5000, 'm');
    EXPECT_EQ(call(quarn, {"qn", "45", "0", missing}),
              (Outcome{255, 0, "", "qn: cannot open input file " + missing + "\n"}));
    EXPECT_EQ(call(quarn, {"qn", "45", "0", EXAMPLES_DIR}),
              (Outcome{255, 0, "", "qn: cannot read input file " EXAMPLES_DIR "\n"}));
    EXPECT_EQ(run(TOOL_PATH, {"45", "0", EXAMPLES_DIR}),
              (Outcome{255, 0, "", TOOL_PATH ": cannot read input file " EXAMPLES_DIR "\n"}));
}

// Each call closes what it opened: 2,000 calls under a limit of 1,024 descriptors.
TEST(Quarn, CallsLeaveNothingOpen)
{
    rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = 1024;  // for the rest of this test program too: it needs few
    setrlimit(RLIMIT_NOFILE, &limit);
    TempFile f(sq);
    for (int i = 0; i < 2000; i++)
        ASSERT_EQ(call(quarn, {"quarn", "45", "0", f.path()}), (Outcome{0, 0, "7\n", ""})) << "call " << i;
}

TEST(Quarn, LongPathIsOpenedAsGiven)
{
    TempFile f(sq);
    std::string path = f.path();
    size_t slash = path.rfind('/');
    for (int i = 0; i < 1000; i++)
        path.insert(slash, "/.");
    EXPECT_EQ(run(TOOL_PATH, {"45", "0", path}), (Outcome{0, 0, "7\n", ""}));
}

TEST(Quarn, OutputThatCannotBeWrittenIsAFailure)
{
    TempFile f(sq);
    EXPECT_EQ(run(TOOL_PATH, {"45", "0", f.path()}, Output::dev_full), (Outcome{255, 0, "", write_error(TOOL_PATH, ENOSPC)}));
    EXPECT_EQ(run(TOOL_PATH, {"45", "0", f.path()}, Output::closed), (Outcome{255, 0, "", write_error(TOOL_PATH, EBADF)}));
    // The cause is that of the write that failed, not of what came after it.
    TempFile g(repeated("7 \"30sec A\" \"m\" -R5/17/43/49\n", 2049) + "8 \"30sec A\" \"m\" -R1e40/17/43/49\n");
    EXPECT_EQ(run(TOOL_PATH, {"45", "10", g.path()}, Output::dev_full), (Outcome{255, 0, "", write_error(TOOL_PATH, ENOSPC)}));
    // With nothing to write, an unwritable output does no harm.
    EXPECT_EQ(run(TOOL_PATH, {"0", "0", f.path()}, Output::dev_full), (Outcome{0, 0, "", ""}));
    EXPECT_EQ(run(TOOL_PATH, {"0", "0", f.path()}, Output::closed), (Outcome{0, 0, "", ""}));
    EXPECT_EQ(call(quarn, {"quarn", "45", "0", f.path()}, Fault::at_close), (Outcome{255, 0, "7\n", write_error("quarn", EIO)}));
    EXPECT_EQ(call(quarn, {"quarn", "45", "0", f.path()}, Fault::every_write), (Outcome{255, 0, "", write_error("quarn", EDQUOT)}));
}

}  // namespace
