// The old listing of "tessik NEW OLD", held in memory: each of its records
// once, and a table that finds a record among them.
#pragma once

#include <cstddef>
#include <cstdint>

// The key of the records' hash.  Each run draws its own, so that nobody who
// writes a listing can know which records would crowd one part of the table.
struct HashKey {
    uint64_t k0, k1;
};
HashKey random_key();
uint64_t record_hash(HashKey key, const char *record, size_t len);

// The table keeps where a record begins in 32 bits: the listing's text can
// be no longer than this, just under 4 GiB (one byte less where size_t
// itself has 32 bits, so that one more can be counted).
constexpr size_t old_listing_max = SIZE_MAX > UINT32_MAX ? UINT32_MAX : SIZE_MAX - 1;

// What became of reading an input file.
enum class Input { read, unreadable, out_of_memory, too_large };

// The length of the record at p: a line without its line end, "\n" or
// "\r\n".  It ends at the first '\n' or at end; *next is where the next
// one begins.
size_t record_at(const char *p, const char *end, const char **next);

class OldListing {
public:
    OldListing() = default;
    OldListing(const OldListing &) = delete;
    OldListing &operator=(const OldListing &) = delete;
    ~OldListing();

    // Reads the listing from fd to its end, whatever size the file claims,
    // and keeps each of its records once.
    Input hold(int fd, HashKey key, size_t limit = old_listing_max);
    bool holds(const char *record, size_t len) const;
    size_t longest() const { return longest_; }  // of the records in the table

    // The table's size, and the slot where the search for a record begins.
    size_t slots() const { return nslots_; }
    size_t home(const char *record, size_t len) const;

private:
    Input read_all(int fd, size_t limit);
    uint32_t *slot(const char *record, size_t len) const;

    HashKey key_{};
    char *text_ = nullptr;
    size_t size_ = 0;
    uint32_t *slots_ = nullptr;  // a record's offset + 1; 0 is free
    size_t nslots_ = 0;
    size_t longest_ = 0;
    // Records of at most two characters are bits here instead, so that
    // short lines, however many, cost no room in the table.
    unsigned char tiny_[(1 << 17) / 8] = {};
};
