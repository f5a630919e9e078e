#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "command.h"
#include "events.h"
#include "pelmor.h"

namespace {

using namespace pelmor_sizes;

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
    {{"1", "10km"}, 0, "1.50\n", ""}, {{"7.4989419", "10"}, 0, "2.38\n", ""},  // 2.375 exactly: a tie, rounded as printf rounds it
    {{"  1e3junk", "\t100"}, 0, "6.00\n", ""},
    {{"1e-40", "5"}, 0, "-38.60\n", ""},
    {{"1E3", "100"}, 0, "6.00\n", ""}, {{"1e7", "100"}, 0, "10.00\n", ""},
    {{"1", "1:"}, 0, "1.40\n", ""},  // ':' follows '9', but is no digit
    // Outside 1 km to 1000 km: no magnitude, and no failure either.
    {{"1", "0.5"}, 0, "", ""}, {{"1", "1000"}, 0, "", ""},
    {{"1", "nan"}, 0, "", ""}, {{"1", "-inf"}, 0, "", ""},
    {{"abc", "10"}, 1, "", "illegal amplitude abc\n"},
    {{"abc", "xyz"}, 1, "", "illegal amplitude abc\n"},
    {{"", ""}, 1, "", "illegal amplitude \n"},
    {{"1", ""}, 1, "", "illegal distance \n"},
    {{"1", "xyz"}, 1, "", "illegal distance xyz\n"}, {{"1", "-"}, 1, "", "illegal distance -\n"},
    {{"-", "5"}, 1, "", "illegal amplitude -\n"},
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

TEST(Pelmor, InProcess)
{
    for (const Case &c : cases) {
        std::vector<std::string> args{"pelmor"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(call(pelmor, args), (Outcome{c.status, 0, c.out, c.err}));
    }
}

TEST(Pelmor, AsAProcess)
{
    for (const Case &c : cases)
        EXPECT_EQ(run(TOOL_PATH, c.args), (Outcome{c.status, 0, c.out, c.err}));
}

TEST(Pelmor, WrongNumberOfArgumentsGivesUsage)
{
    const std::vector<std::string> counts[] = {{}, {"1"}, {"-h"}, {"1", "32", "3"}};
    for (const auto &args : counts)
        EXPECT_EQ(run(TOOL_PATH, args), (Outcome{1, 0, "", std::string("Usage: ") + TOOL_PATH + usage}));
    EXPECT_EQ(call(pelmor, {"./pm", "1"}), (Outcome{1, 0, "", "Usage: ./pm" + usage}));
    EXPECT_EQ(call(pelmor, {}), (Outcome{1, 0, "", "Usage: pelmor" + usage}));  // without argv[0] the program names itself
    EXPECT_EQ(run(TOOL_PATH, {}, Output::captured, true), (Outcome{1, 0, "", "Usage: pelmor" + usage}));
}

TEST(Pelmor, OutputThatCannotBeWrittenIsAFailure)
{
    const std::string name = TOOL_PATH;
    EXPECT_EQ(run(TOOL_PATH, {"1", "32"}, Output::dev_full), (Outcome{1, 0, "", write_error(name, ENOSPC)}));
    EXPECT_EQ(run(TOOL_PATH, {"1", "32"}, Output::closed), (Outcome{1, 0, "", write_error(name, EBADF)}));
    EXPECT_EQ(run(TOOL_PATH, {"1", "2000"}, Output::dev_full), (Outcome{0, 0, "", ""}));  // with nothing to write, an unwritable output does no harm
    EXPECT_EQ(run(TOOL_PATH, {"1", "2000"}, Output::closed), (Outcome{0, 0, "", ""}));
    EXPECT_EQ(run(TOOL_PATH, {"x", "1"}, Output::closed), (Outcome{1, 0, "", "illegal amplitude x\n"}));
    EXPECT_EQ(call(pelmor, {"pelmor", "1", "32"}, Fault::at_close), (Outcome{1, 0, "2.18\n", write_error("pelmor", EIO)}));  // as a file system that reports a lost write only at the close
    EXPECT_EQ(call(pelmor, {"pelmor", "1", "32"}, Fault::every_write), (Outcome{1, 0, "", write_error("pelmor", EDQUOT)}));
    EXPECT_EQ(call(pelmor, {"pelmor", "-"}, Fault::at_close, "1 32\n1 32\n"), (Outcome{1, 0, "2.18\n2.18\n", write_error("pelmor", EIO)}));
    EXPECT_EQ(call(pelmor, {"pelmor", "-"}, Fault::first_write, "1 100\n0 1\n1 32\n0 1\n"), (Outcome{1, 0, "", "pelmor: line 2: illegal amplitude 0\npelmor: line 4: illegal amplitude 0\n" + write_error("pelmor", EAGAIN)}));
    EXPECT_EQ(run(TOOL_PATH, {"-"}, Output::dev_full, false, EXAMPLES_DIR "/bulletin"), (Outcome{1, 0, "", write_error(name, ENOSPC)}));
    EXPECT_EQ(run(TOOL_PATH, {"-n"}, Output::dev_full, false, EXAMPLES_DIR "/events"), (Outcome{1, 0, "", write_error(name, ENOSPC)}));
}

// "pelmor -": for every line of a bulletin one line of output, the magnitude
// of its first two fields or an empty line, and every refused line reported.
TEST(Pelmor, Bulletin)
{
    using namespace std::string_literals;
    // Events of 1 to 17 readings, interleaved: 6.00 and the first n - 1 of these distances' magnitudes (nodes).
    std::string weighted;
    const int kms[] = {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 80, 220, 110, 130};
    for (int i = -1; i < 16; i++)
        for (int n : {17, 1, 2, 3, 4, 5, 7, 8, 9, 16})  // the first event, looked up again after the table grew
            weighted += i >= n - 1 ? "" : 'E' + std::to_string(n) + (i < 0 ? " 1000 100\n" : " 1 " + std::to_string(kms[i]) + "\n");
    // "-n": fields that end at 4095, 4096 and 4097 characters, then at the line's end; events of names that cross blocks.
    auto ending = [](const std::string &before, const std::string &field, size_t at) { return before + std::string(at - before.size() - field.size(), ' ') + field; };
    std::string bounds, long_names, long_events;
    for (char i : {0, 1, 2})
        bounds += ending("", {char('a' + i)}, 4095u + i) + " 1 32\n" + ending({char('d' + i), ' '}, "1", 4095u + i) + " 32\n" +
                  ending({char('g' + i), ' ', '1', ' '}, "32", 4095u + i) + " x\n";
    bounds += ending("j 1 ", "32", line_max) + "\r\n" + ending("", "k", line_max) + "\n";
    for (char c = 'L'; c < 'L' + 30; c++)  // 32 magnitudes in all: the room of a power of two filled; lines whose room is near a block's end
        long_names += std::string(line_max - 6, c) + " 1 32\n", long_events += std::string(line_max - 6, c) + "\t2.18\t\t1\n";
    const struct {
        std::string in, out, err;  // a refusal gives status 1
        const char *form = "-";
    } cases[] = {
        {"", "", ""},
        {"1 32\n1000\t100 BFO ML\n \t0.01  5km\t\n2.5 250", "2.18\n6.00\n-0.60\n4.20\n", ""},
        {"\n \t\n1 0.5\n1 1000\n1 nan\n", "\n\n\n\n\n", ""},
        // Plain decimals, and all else that "%f" reads; ties that printf rounds to even.
        {"1000. 100\n+1e3 100\n1000.0000000000 +1e2\n0x3E8 0X64\n1000.0 1e2.5\n", "6.00\n6.00\n6.00\n6.00\n6.00\n", ""},
        {"1e-40 5\n0.00000000001 5\n16777216 5\n1 16.25\n1 24.375\n0.001 100\n0.001023 100\n0.0010007 100\n",
         "-38.60\n-9.60\n8.62\n1.62\n1.88\n0.00\n0.01\n0.00\n", ""},
        {"abc 1\n5\n1 xyz\n0 5\n-1 5\ninf x\n\v 5\n1 32\n", "\n\n\n\n\n\n\n2.18\n",
         "$0: line 1: illegal amplitude abc\n$0: line 2: expected <ampl> <km-distance>\n$0: line 3: illegal distance xyz\n"
         "$0: line 4: illegal amplitude 0\n$0: line 5: illegal amplitude -1\n$0: line 6: illegal amplitude inf\n"
         "$0: line 7: illegal amplitude \v\n"},
        {"4294968296 100\n1.5.3 100\n. 1\n1 .\n-. 5\n4294967.2961 100\n", "12.63\n3.18\n\n\n\n9.63\n",
         "$0: line 3: illegal amplitude .\n$0: line 4: illegal distance .\n$0: line 5: illegal amplitude -.\n"},
        {"0.0010115 100\n0.0010116 100\n0.0010185 100\n0.0009886 100\n0.0098 100\n", "0.00\n0.01\n0.01\n-0.00\n0.99\n", ""},
        {"5", "\n", "$0: line 1: expected <ampl> <km-distance>\n"},
        {"1E3 100\n1.5: 1:\n1 10km\n1e7 100\n\f\f\n\r\r\n1 \n", "6.00\n1.58\n1.50\n10.00\n\n\n\n", "$0: line 7: expected <ampl> <km-distance>\n"},
        // CR LF ends a line as LF does; a line of white space is blank.
        {"1 100\r\n\r\n \t\v\f\r\n1 x BFO\r\n1 y\r\n1 32\r", "3.00\n\n\n\n\n2.18\n",
         "$0: line 4: illegal distance x\n$0: line 5: illegal distance y\n"},
        // A line is judged by its first line_max characters, up to a NUL.
        {std::string(line_max - 4, ' ') + "1 32\n" + std::string(line_max - 5, ' ') + "1 32 " + std::string(9, 'x') + "\n1 3\0" "2\n1\0 32\n\0" "1 32\n \0\n"s,
         "2.18\n2.18\n1.40\n\n\n\n", "$0: line 4: expected <ampl> <km-distance>\n$0: line 5: expected <ampl> <km-distance>\n$0: line 6: expected <ampl> <km-distance>\n"},
        {std::string(line_max - 4, ' ') + "1 325\n" + std::string(line_max, ' ') + "1\n1 " + std::string(251, '0') + "500\n1 100\0"s + std::string(line_max, ' ') + "\n" + std::string(line_max + 9, ' '),
         "\n\n4.70\n3.00\n\n", "$0: line 1: line too long\n$0: line 2: line too long\n$0: line 5: line too long\n"},
        // Across blocks: two lines cut, one of three blocks, a CR ending block 1 past line_max; outputs that fill their block.
        {repeated("1 32\n", input_block / 5) + "1 100\n" + repeated("1 32\n", (input_block - 3006) / 5) + std::string(line_max - 96, ' ') + "1 100\n" + std::string(2 * input_block + 8000, '9') + "\n1 32\n",
         repeated("2.18\n", input_block / 5) + "3.00\n" + repeated("2.18\n", (input_block - 3006) / 5) + "3.00\n\n2.18\n", "$0: line " + std::to_string(input_block / 5 + (input_block - 3006) / 5 + 3) + ": line too long\n"},
        {std::string(input_block - line_max - 1, '\n') + std::string(line_max - 4, ' ') + "1 32\r5\n", std::string(input_block - line_max, '\n'), "$0: line " + std::to_string(input_block - line_max) + ": line too long\n"},
        {repeated("9 9\n", output_block / 4), repeated("2.43\n", output_block / 4), ""},
        // Weights worked out by hand: from 8 readings on, the outermost drop out.
        {weighted, "E17\t2.45\t0.50\t13\nE1\t6.00\t\t1\nE2\t3.70\t3.25\t2\nE3\t2.97\t2.63\t3\nE4\t2.27\t2.05\t4\nE5\t2.02\t1.55\t5\nE7\t1.85\t0.76\t7\n"
                   "E8\t1.85\t0.31\t6\nE9\t1.93\t0.34\t7\nE16\t2.38\t0.48\t12\n", "", "-n"}, {"", "", "", "-n"},
        // An event named on a line is listed, whatever its readings gave; a line that a NUL ends before its event names none, but is no blank line.
        {"E1 1 32\r\nE2 1 2000\nE1 x 5\n \t\r\n\n\v\f\nE1 1 100 BFO\r\nE4 1\nE\0x 1 32\nE4 \v \v\f\n\0E6 1 32\nE5\r"s, "E1\t2.59\t0.58\t2\nE2\t\t\t0\nE4\t\t\t0\nE\t\t\t0\nE5\t\t\t0\n",
         "$0: line 3: illegal amplitude x\n$0: line 8: expected <event> <ampl> <km-distance>\n$0: line 9: expected <event> <ampl> <km-distance>\n"
         "$0: line 10: expected <event> <ampl> <km-distance>\n$0: line 11: expected <event> <ampl> <km-distance>\n$0: line 12: expected <event> <ampl> <km-distance>\n", "-n"},
        {bounds + long_names, "a\t\t\t0\nd\t\t\t0\ng\t2.18\t\t1\ne\t\t\t0\nh\t\t\t0\nf\t\t\t0\ni\t\t\t0\nj\t2.18\t\t1\nk\t\t\t0\n" + long_events,
         "$0: line 1: line too long\n$0: line 2: line too long\n$0: line 4: line too long\n$0: line 5: line too long\n$0: line 6: line too long\n"
         "$0: line 7: line too long\n$0: line 8: line too long\n$0: line 9: line too long\n$0: line 11: expected <event> <ampl> <km-distance>\n", "-n"},
    };
    for (const auto &c : cases) {
        TempFile in(c.in);
        for (const std::string name : {"pelmor", TOOL_PATH}) {
            std::string err = c.err;
            for (size_t at; (at = err.find("$0")) != std::string::npos;)
                err.replace(at, 2, name);
            Outcome want{err.empty() ? 0 : 1, 0, c.out, err};
            if (name == "pelmor")
                EXPECT_EQ(call(pelmor, {name, c.form}, Fault::none, c.in), want) << c.in.substr(0, 80);
            else
                EXPECT_EQ(run(TOOL_PATH, {c.form}, Output::captured, false, in.path()), want) << c.in.substr(0, 80);
        }
    }
    EXPECT_EQ(run(TOOL_PATH, {"-"}, Output::captured, false, "/"), (Outcome{1, 0, "", TOOL_PATH ": cannot read standard input: Is a directory\n"}));
    EXPECT_EQ(run("/bin/sh", {"-c", "\"$0\" -n <&- 2>&1 | head -n 2", TOOL_PATH}), (Outcome{0, 0, TOOL_PATH ": cannot read standard input: Bad file descriptor\n", ""}));  // closed, not refilled by the /dev/urandom of the key
    // On a terminal messages and answers keep their order; from a waiting pipe each goes before the next read, on a small stack.
    TempFile refusal("1 32\nx 5\n1 32\n");
    EXPECT_EQ(run(TOOL_PATH, {"-"}, Output::terminal, false, refusal.path()), (Outcome{1, 0, "2.18\n" TOOL_PATH ": line 2: illegal amplitude x\n\n2.18\n", ""}));
    const std::string wait = "o=$(mktemp); ulimit -s 64; { echo 1 32; i=0; until [ -s $o ] || [ $i = 500 ]; do sleep 0.01; i=$((i+1)); done; [ -s $o ] || echo late >&2; echo 1 100; } | \"$0\" - > $o; cat $o; rm $o";
    EXPECT_EQ(run("/bin/sh", {"-c", wait, TOOL_PATH}), (Outcome{0, 0, "2.18\n3.00\n", ""}));
    // A read that fails ends the reading; the line it cut short is not judged.
    EXPECT_EQ(call(pelmor, {"pelmor", "-"}, Fault::none, failing_input("1 32\n1 10")), (Outcome{1, 0, "2.18\n", "pelmor: cannot read standard input: Input/output error\n"}));
    EXPECT_EQ(call(pelmor, {"pelmor", "-n"}, Fault::none, failing_input("E 1 32\nE 1 10")), (Outcome{1, 0, "", "pelmor: cannot read standard input: Input/output error\n"}));
}

// Memory that runs out is named, and no event listed, nor a line judged after: the names, an event's readings or the events' table outgrow it.
// Within 20,000 KiB of address space, 70,000 events, more than 16 bits count, each named again once the table has grown, are listed.
TEST(Pelmor, EventsBeyondTheMemoryAllowed)
{
    std::string limit = "ulimit -d 6500; ", room = "ulimit -v 20000; ";
#ifdef __SANITIZE_ADDRESS__  // which maps more than that: large allocations fail instead, with a warning
    limit = "export ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=2; ", room = "";
#endif
    TempFile err("");
    for (const char *feed : {"awk 'BEGIN { s = sprintf(\"%4000s\", \"\"); gsub(/ /, \"x\", s); for (i = 0; i < 2000; i++) print s i, 1, 32 }'", "yes 'E 1 32' | head -n 1200000", "seq -f 'e%.0f 1 2000' 200000"})
        EXPECT_EQ(run("/bin/sh", {"-c", limit + "(echo E 1 32; " + feed + "; echo E 0 1) 2>/dev/null | \"$0\" -n 2>\"$1\"; s=$?; grep -v '^==' \"$1\" >&2; exit $s", TOOL_PATH, err.path()}),
                  (Outcome{1, 0, "", TOOL_PATH ": out of memory\n"})) << feed;
    EXPECT_EQ(run("/bin/sh", {"-c", room + "(seq -f 'e%.0f 1 32' 70000; seq -f 'e%.0f 1 32' 70000) | \"$0\" -n | sed -n '1p;$p'", TOOL_PATH}), (Outcome{0, 0, "e1\t2.18\t0.00\t2\ne70000\t2.18\t0.00\t2\n", ""}));
}

// Event names hash as the published SipHash-1-3 vectors: key bytes 0 to 15, message bytes 0 to n - 1.
TEST(Pelmor, EventsAreFoundUnderAKeyedHash)
{
    const uint64_t key[2] = {0x0706050403020100, 0x0f0e0d0c0b0a0908};
    for (const auto &[len, hash] : {std::pair<size_t, uint64_t>{0, 0xabac0158050fc4dc}, {7, 0xd3927d989bb11140}, {8, 0x369095118d299a8e}, {15, 0xd320d86d2a519956}})
        EXPECT_EQ(events_hash(key, "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e", len), hash) << len;
    Events e, other;  // each draws a key of its own, the first with no descriptor to spare, and neither leaves one open
    rlimit was{}, none{};
    int fd = open("/dev/null", O_RDONLY);
    close(fd), getrlimit(RLIMIT_NOFILE, &was), none.rlim_max = was.rlim_max;
    setrlimit(RLIMIT_NOFILE, &none), events_open(e), setrlimit(RLIMIT_NOFILE, &was), events_open(other);
    EXPECT_TRUE(e.key[0] != other.key[0] && e.key[1] != other.key[1] && fcntl(fd, F_GETFD) == -1);
    e.key[0] = key[0], e.key[1] = key[1];  // under the fixed key, names whose hashes begin with five 1 bits start at the table's last slot
    for (const char *name : {"e0", "e15", "e32", "e249621", "e451189", "a", "b", "c", "d", "f", "g", "h", "i", "e0", "e15", "e32", "e249621", "e451189"})
        events_file(e, name, strlen(name), nullptr);
    EXPECT_TRUE(e.count == 13 && e.nslots == 32);  // four wrap round to its first, in 16 slots and in 32; the last two share their hash's high half and length
    const float ml = 1;
    e.list[0].n = INT_MAX - 1;  // an int's count of readings, then out of memory
    EXPECT_TRUE(events_file(e, "e0", 2, &ml) && events_file(e, "e0", 2, nullptr) && !events_file(e, "e0", 2, &ml));
    events_close(e);
}

TEST(Pelmor, LongArgumentsAreReadLikeShortOnes)
{
    std::string ampl = "1" + std::string(99990, '0');  // overflows: no logarithm
    EXPECT_EQ(run(TOOL_PATH, {ampl, "32"}).status, 1);
    std::string dist = "32" + std::string(99990, 'x');
    EXPECT_EQ(run(TOOL_PATH, {"1", dist}), (Outcome{0, 0, "2.18\n", ""}));
}

}  // namespace
