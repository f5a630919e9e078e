// libFuzzer target for tessik: the comparison output may hold any bytes.
// It must be read through (status 0), and every name printed must be the
// text between the gap and the first ',' of a '<' line of the input, taken
// in input order, at most 179 characters long.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unistd.h>

int tessik(int argc, char *argv[], FILE *out, FILE *err);

namespace {

char path[] = "/tmp/tessik_fuzz.XXXXXX";

void remove_input() { unlink(path); }

void write_input(const uint8_t *data, size_t size)
{
    static bool made;
    if (!made) {
        int fd = mkstemp(path);
        if (fd < 0)
            abort();
        close(fd);
        atexit(remove_input);
        made = true;
    }
    FILE *f = fopen(path, "wb");
    if (!f || fwrite(data, 1, size, f) != size || fclose(f) != 0)
        abort();
}

// Finds the next '<' line from `at` on whose name is `name`; moves `at`
// past it.
bool next_record(std::string_view input, size_t &at, std::string_view name)
{
    while (at < input.size()) {
        size_t end = input.find('\n', at);
        if (end == std::string_view::npos)
            end = input.size();
        std::string_view line = input.substr(at, end - at);
        at = end + 1;
        if (line.size() >= 2 && line[0] == '<') {
            size_t comma = line.find(',', 2);
            if (comma != std::string_view::npos && line.substr(2, comma - 2) == name)
                return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_input(data, size);
    char *out_buf = nullptr, *err_buf = nullptr;
    size_t out_len = 0, err_len = 0;
    FILE *out = open_memstream(&out_buf, &out_len);
    FILE *err = open_memstream(&err_buf, &err_len);
    if (!out || !err)
        abort();
    char prog[] = "tessik";
    char *argv[] = {prog, path, nullptr};
    int status = tessik(2, argv, out, err);  // closes out
    fclose(err);

    std::string_view input(reinterpret_cast<const char *>(data), size), names(out_buf, out_len);
    if (status != 0 || (!names.empty() && names.back() != '\n'))
        abort();
    size_t at = 0;
    while (!names.empty()) {
        std::string_view name = names.substr(0, names.find('\n'));
        names.remove_prefix(name.size() + 1);
        if (name.size() > 179 || name.find(',') != std::string_view::npos || !next_record(input, at, name))
            abort();
    }
    free(out_buf);
    free(err_buf);
    return 0;
}
