#include "command.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

void fail(const char *what)
{
    throw std::runtime_error(std::string(what) + ": " + strerror(errno));
}

// Reads both pipes to their end, whichever the child fills first.
void drain(int out_fd, int err_fd, std::string &out, std::string &err)
{
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string *sinks[2] = {&out, &err};
    int open = (out_fd >= 0) + (err_fd >= 0);
    char buf[65536];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            fail("poll");
        }
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                open--;
            }
        }
    }
}

// A terminal that keeps "\n" as it is; pty reads what is written to tty.
void open_terminal(int &pty, int &tty)
{
    termios mode;
    pty = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty < 0 || grantpt(pty) != 0 || unlockpt(pty) != 0 ||
        (tty = open(ptsname(pty), O_RDWR | O_NOCTTY)) < 0 || tcgetattr(tty, &mode) != 0)
        fail("terminal");
    mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tcsetattr(tty, TCSANOW, &mode);
}

}  // namespace

Outcome run(const char *path, const std::vector<std::string> &args, Output output,
            bool no_argv0, const std::string &input)
{
    std::vector<char *> argv;
    if (!no_argv0)
        argv.push_back(const_cast<char *>(path));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    int out_pipe[2] = {-1, -1}, err_pipe[2], pty = -1, tty = -1;
    if (output == Output::terminal)
        open_terminal(pty, tty);
    if ((output == Output::captured && pipe(out_pipe) != 0) || pipe(err_pipe) != 0)
        fail("pipe");
    pid_t pid = fork();
    if (pid < 0)
        fail("fork");
    if (pid == 0) {
        int in = open(input.c_str(), O_RDONLY), full = -1;
        dup2(in, 0);
        if (output == Output::captured)
            dup2(out_pipe[1], 1);
        else if (output == Output::dev_full)
            dup2(full = open("/dev/full", O_WRONLY), 1);
        else if (output == Output::terminal)
            dup2(tty, 1);
        else
            close(1);
        dup2(output == Output::terminal ? tty : err_pipe[1], 2);
        for (int fd : {in, full, out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1], pty, tty})
            if (fd > 2)
                close(fd);
        execv(path, argv.data());
        _exit(127);
    }
    if (output == Output::captured)
        close(out_pipe[1]);
    close(err_pipe[1]);
    if (tty >= 0)
        close(tty);

    Outcome o;
    drain(pty >= 0 ? pty : out_pipe[0], err_pipe[0], o.out, o.err);
    int wstatus;
    while (waitpid(pid, &wstatus, 0) < 0)
        if (errno != EINTR)
            fail("waitpid");
    if (WIFEXITED(wstatus))
        o.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus))
        o.signal = WTERMSIG(wstatus);
    return o;
}

namespace {

// A stream that appends what is written to a string, or fails as told.
struct Sink {
    std::string *text;
    Fault fault;
};

ssize_t sink_write(void *cookie, const char *buf, size_t size)
{
    Sink *sink = static_cast<Sink *>(cookie);
    if (sink->fault == Fault::every_write || sink->fault == Fault::first_write || sink->fault == Fault::no_cause) {
        errno = sink->fault == Fault::every_write ? EDQUOT : sink->fault == Fault::first_write ? EAGAIN : 0;
        sink->fault = sink->fault == Fault::first_write ? Fault::at_close : sink->fault;
        return 0;  // a failure, as the C library takes it from a stream of its own
    }
    sink->text->append(buf, size);
    return static_cast<ssize_t>(size);
}

int sink_close(void *cookie)
{
    if (static_cast<Sink *>(cookie)->fault == Fault::none || static_cast<Sink *>(cookie)->fault == Fault::no_cause)
        return 0;
    errno = static_cast<Sink *>(cookie)->fault == Fault::quota_at_close ? EDQUOT : EIO;
    return -1;
}

FILE *open_sink(Sink &sink)
{
    cookie_io_functions_t io = {nullptr, sink_write, nullptr, sink_close};
    FILE *f = fopencookie(&sink, "w", io);
    if (!f)
        fail("fopencookie");
    if (sink.fault == Fault::every_write)
        setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

}  // namespace

namespace {

template <typename Call>
Outcome call_with(const std::vector<std::string> &args, Fault fault, Call entry)
{
    std::vector<std::string> copies(args);  // the tool may write into its argv
    std::vector<char *> argv;
    for (std::string &a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    Outcome o;
    Sink out_sink{&o.out, fault}, err_sink{&o.err, Fault::none};
    int pty = -1, tty;
    if (fault == Fault::full_terminal)
        open_terminal(pty, tty), fcntl(tty, F_SETFL, O_NONBLOCK);
    FILE *out = pty >= 0 ? fdopen(tty, "w") : open_sink(out_sink);
    FILE *err = open_sink(err_sink);
    o.status = entry(static_cast<int>(copies.size()), argv.data(), out, err);
    fclose(err);  // the entry function closes its standard output itself
    close(pty);   // -1 when there is none, which close refuses
    return o;
}

}  // namespace

Outcome call(Entry entry, const std::vector<std::string> &args, Fault fault)
{
    return call_with(args, fault, entry);
}

Outcome call(FilterEntry entry, const std::vector<std::string> &args, Fault fault, FILE *in)
{
    return call_with(args, fault, [&](int argc, char **argv, FILE *out, FILE *err) {
        return entry(argc, argv, in, out, err);
    });
}

Outcome call(FilterEntry entry, const std::vector<std::string> &args, Fault fault,
             const std::string &input)
{
    TempFile file(input);
    FILE *in = fopen(file.path().c_str(), "r");
    if (!in)
        fail("fopen");
    Outcome o = call(entry, args, fault, in);
    fclose(in);
    return o;
}

// The far side of a terminal reads what was written to it, and then EIO
// once it has been closed.
FILE *failing_input(const std::string &data)
{
    int pty, tty;
    open_terminal(pty, tty);
    if (write(tty, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
        fail("write");
    close(tty);
    return fdopen(pty, "r");
}

std::string repeated(const std::string &s, int times)
{
    std::string all;
    while (times-- > 0)
        all += s;
    return all;
}

std::string write_error(const std::string &prog, int code)
{
    return prog + ": write error: " + strerror(code) + "\n";
}

TempFile::TempFile(const std::string &content)
{
    const char *dir = getenv("TMPDIR");
    std::string templ = std::string(dir && *dir ? dir : "/tmp") + "/tooltest.XXXXXX";
    int fd = mkstemp(templ.data());
    if (fd < 0)
        fail("mkstemp");
    path_ = templ;
    for (size_t done = 0; done < content.size();) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0)
            fail("write");
        done += static_cast<size_t>(n);
    }
    close(fd);
}

TempFile::~TempFile() { unlink(path_.c_str()); }

bool operator==(const Outcome &a, const Outcome &b)
{
    return a.status == b.status && a.signal == b.signal && a.out == b.out && a.err == b.err;
}

void PrintTo(const Outcome &o, std::ostream *os)
{
    *os << "{status " << o.status << ", signal " << o.signal << ", out \"" << o.out
        << "\", err \"" << o.err << "\"}";
}
