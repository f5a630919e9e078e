// Running a tool, as a process or through its entry function, and keeping
// what it wrote and how it ended.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct Outcome {
    int status = -1;  // exit status; -1 when the program did not exit
    int signal = 0;   // the signal that ended it, or 0
    std::string out;
    std::string err;
};

// Where a started program's standard output goes.  A terminal takes
// standard error too, so that `out` shows both as a person would see them.
enum class Output { captured, dev_full, closed, terminal };

// Starts the program at path with the given arguments (argv[0] is the path)
// and standard input from the file `input`; with no_argv0 the argument
// vector is empty.
Outcome run(const char *path, const std::vector<std::string> &args,
            Output output = Output::captured, bool no_argv0 = false,
            const std::string &input = "/dev/null");

// How the output stream of an in-process call fails, if at all.
enum class Fault {
    none,
    at_close,     // closing fails with EIO, as on a file system that reports
                  // lost writes only then
    every_write,  // the stream is unbuffered, every write fails with EDQUOT,
                  // a cause no other step of a tool gives, and the close with EIO
    first_write,  // the first write fails with EAGAIN, as a full non-blocking pipe's; later ones pass
    quota_at_close,  // closing fails with EDQUOT, a cause of its own, as on NFS
    no_cause,        // every write fails and leaves errno 0, as a device that gives no cause; the close passes
    full_terminal,   // a terminal that nobody reads, non-blocking: once full, each write fails with EAGAIN,
                     // and the C library counts a line written to it as done
};

// Calls an entry function in this process with argv built from args (the
// first one is argv[0]; an empty list gives argc 0), capturing both streams.
using Entry = int (*)(int, char **, FILE *, FILE *);
Outcome call(Entry entry, const std::vector<std::string> &args, Fault fault = Fault::none);
// The same for an entry function that reads standard input too, from `input`.
using FilterEntry = int (*)(int, char **, FILE *, FILE *, FILE *);
Outcome call(FilterEntry entry, const std::vector<std::string> &args, Fault fault = Fault::none,
             const std::string &input = "");
Outcome call(FilterEntry entry, const std::vector<std::string> &args, Fault fault, FILE *in);

// A stream that reads `data` and then fails with EIO; its reader closes it.
FILE *failing_input(const std::string &data);

// The text `s` repeated `times` times.
std::string repeated(const std::string &s, int times);

// The message of a tool whose standard output failed with errno `code`.
std::string write_error(const std::string &prog, int code);

// A file in the temporary directory, removed when this goes out of scope.
class TempFile {
public:
    explicit TempFile(const std::string &content);
    ~TempFile();
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// The entry functions of the four tools.
int pelmor(int argc, char *argv[], FILE *in, FILE *out, FILE *err);
int ostrel(int argc, char *argv[], FILE *out, FILE *err);
int quarn(int argc, char *argv[], FILE *out, FILE *err);
int tessik(int argc, char *argv[], FILE *out, FILE *err);

// Lets gtest print an Outcome in a failed expectation.
bool operator==(const Outcome &a, const Outcome &b);
void PrintTo(const Outcome &o, std::ostream *os);
