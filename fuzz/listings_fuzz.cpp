// libFuzzer target for "tessik NEW OLD": for any two listings, it must
// write what the diff form writes for the lines "< " and a record, one for
// each record of NEW that OLD does not hold, with the same status.
//
// The input is a header of three bytes, NEW and OLD.  The header gives
// NEW's length; its first bit adds every second record of NEW to OLD, so
// that the listings share records more often than chance makes them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "entry.h"

namespace {

// The records of a listing: its lines without "\n" or "\r\n".
std::vector<std::string_view> records(std::string_view text)
{
    std::vector<std::string_view> all;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view rec = text.substr(0, nl);
        if (nl != std::string_view::npos && !rec.empty() && rec.back() == '\r')
            rec.remove_suffix(1);
        all.push_back(rec);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    }
    return all;
}

std::string file(const std::string &content, char *path)
{
    snprintf(path, 32, "/tmp/fuzz_listing.XXXXXX");
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        abort();
    close(fd);
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    std::string_view all(reinterpret_cast<const char *>(data) + 3, size - 3);
    size_t cut = (data[1] | data[2] << 8) % (all.size() + 1);
    std::string next(all.substr(0, cut)), old(all.substr(cut));
    std::vector<std::string_view> news = records(next);
    if (data[0] & 1)
        for (size_t i = 0; i < news.size(); i += 2)
            old += "\n" + std::string(news[i]);
    std::vector<std::string_view> olds = records(old);
    std::set<std::string_view> held(olds.begin(), olds.end());
    std::string diff;
    for (std::string_view rec : news)
        if (!held.count(rec))
            diff += "< " + std::string(rec) + "\n";

    char prog[] = "tessik", new_path[32], old_path[32];
    file(next, new_path);
    file(old, old_path);
    Result two = run_entry(tessik, {prog, new_path, old_path});
    Result one = run_entry(tessik, {prog, input_file(diff)});
    unlink(new_path);
    unlink(old_path);
    if (two.status != one.status || two.out != one.out || two.err != one.err)
        abort();
    return 0;
}
