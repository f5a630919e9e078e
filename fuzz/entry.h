// Running a tool's entry function inside a fuzz target.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

int pelmor(int argc, char *argv[], FILE *in, FILE *out, FILE *err);
int ostrel(int argc, char *argv[], FILE *out, FILE *err);
int quarn(int argc, char *argv[], FILE *out, FILE *err);
int tessik(int argc, char *argv[], FILE *out, FILE *err);

struct Result {
    int status;
    std::string out, err;
};

// Calls entry (argc, argv, out, err) with the given arguments (argv[0]
// first) and keeps what it wrote on its two streams.
template <typename Entry>
Result run_entry(Entry entry, std::vector<char *> argv)
{
    char *out_buf = nullptr, *err_buf = nullptr;
    size_t out_len = 0, err_len = 0;
    FILE *out = open_memstream(&out_buf, &out_len);
    FILE *err = open_memstream(&err_buf, &err_len);
    if (!out || !err)
        abort();
    int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    int status = entry(argc, argv.data(), out, err);  // closes out itself
    fclose(err);
    Result r{status, std::string(out_buf, out_len), std::string(err_buf, err_len)};
    free(out_buf);
    free(err_buf);
    return r;
}

// Writes content to a new temporary file, in place of the one written for
// the previous input (a new file is cheaper than truncating the old one),
// and returns its path.  The last one is removed at exit.
inline char *input_file(const std::string &content)
{
    static char path[32];
    if (path[0])
        unlink(path);
    else
        atexit([] { unlink(path); });
    snprintf(path, sizeof path, "/tmp/fuzz_input.XXXXXX");
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        abort();
    close(fd);
    return path;
}
