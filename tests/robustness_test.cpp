// Hostile input files for the two tools that read one: every byte value and
// lines of ten million characters.  Each run must end by itself with the
// exact status, output and messages.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "command.h"

namespace {

using std::string;

const string ten_mb(10'000'000, 'x');
const string square = " m -R-10/10/40/50\n";  // a region that holds 45N 0E

// Each byte value once, in the title of a record that matches.  A newline
// splits the record into two that do not; a NUL ends the text judged.
string quarn_every_byte()
{
    string s;
    for (int b = 0; b < 256; b++)
        s += "7 \"30sec" + string(1, static_cast<char>(b)) + "\"" + square;
    return s;
}

// Each byte value once, as a file name.  A ',' leaves an empty name, a
// newline leaves no comma, and a NUL ends the line before the name.
string tessik_every_byte()
{
    string s;
    for (int b = 0; b < 256; b++)
        s += "< " + string(1, static_cast<char>(b)) + ",\n";
    return s;
}

string tessik_every_name()
{
    string s;
    for (int b = 1; b < 256; b++)
        if (b != '\n')
            s += (b == ',' ? "" : string(1, static_cast<char>(b))) + "\n";
    return s;
}


struct Case {
    const char *tool;
    string input, out, err;
};

TEST(Robustness, HostileFilesAreReadThrough)
{
    const string quarn = QUARN_PATH, tessik = TESSIK_PATH;
    const string long_record = "7 \"30sec\"" + square;
    const Case cases[] = {
        {QUARN_PATH, quarn_every_byte(), repeated("7\n", 254), ""},
        {QUARN_PATH, long_record.substr(0, long_record.size() - 1) + ten_mb + "\n8 \"30sec\"" + square,
         "7\n8\n", ""},
        {QUARN_PATH, ten_mb, "", ""},
        {TESSIK_PATH, tessik_every_byte(), tessik_every_name(),
         tessik + ": no separation comma for file \n\n"},
        {TESSIK_PATH, "< " + ten_mb + ",\n< b,1\n", "b\n",
         tessik + ": filename too long (line < " + ten_mb.substr(0, 2044) + ")\n" + tessik +
             ": no separation comma for file " + ten_mb.substr(0, 179) + "\n"},
        {TESSIK_PATH, "< " + ten_mb, "",
         tessik + ": filename too long (line < " + ten_mb.substr(0, 2044) + ")\n" + tessik +
             ": no separation comma for file " + ten_mb.substr(0, 179) + "\n"},
    };
    for (const Case &c : cases) {
        TempFile f(c.input);
        std::vector<string> args{f.path()};
        if (c.tool == quarn)
            args.insert(args.begin(), {"45", "0"});
        EXPECT_EQ(run(c.tool, args), (Outcome{0, 0, c.out, c.err})) << c.tool << " on " << c.input.substr(0, 40);
    }
}

// Once standard output has failed, reading stops, even of an endless input.
TEST(Robustness, ReadingStopsWhenOutputFails)
{
    const struct { const char *tool; std::vector<string> args; string line; int status; } cases[] = {
        {PELMOR_PATH, {"-"}, "1 100\n", 1},
        {QUARN_PATH, {"45", "0", "/dev/stdin"}, "7 \"30sec\"" + square, 255},
        {TESSIK_PATH, {"/dev/stdin"}, "< a,1\n", 1},
        {TESSIK_PATH, {"/dev/stdin", "/dev/null"}, "a,1\n", 1},
    };
    const string fifo = string(P_tmpdir) + "/endless." + std::to_string(getpid());
    signal(SIGPIPE, SIG_IGN);
    for (const auto &c : cases) {
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        size_t written = 0;
        std::thread writer([&] {
            int fd = open(fifo.c_str(), O_WRONLY);  // waits for the tool to open it
            const string lines = repeated(c.line, 10000);
            while (written < (1u << 30) && write(fd, lines.data(), lines.size()) > 0)
                written += lines.size();
            close(fd);
        });
        EXPECT_EQ(run(c.tool, c.args, Output::dev_full, false, fifo), (Outcome{c.status, 0, "", write_error(c.tool, ENOSPC)}));
        writer.join();
        EXPECT_LT(written, 1u << 24) << c.tool;
        unlink(fifo.c_str());
    }
}

}  // namespace
