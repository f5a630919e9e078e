// The events of a bulletin, for "pelmor -n": each held once under its name,
// in the order of its first reading, and the station magnitudes filed as
// read, 8 bytes each, with room to group them by event, 4 bytes more.  So
// that names chosen to share a slot cannot make the look-up slow, they are
// found through SipHash-1-3 under a key drawn at random for each run.
#pragma once

#include <cstddef>
#include <cstdint>

struct Event {
    size_t name, first;  // where its name lies in names, and its magnitudes in grouped
    uint32_t name_len;
    int n;  // its station magnitudes
};

struct Events {
    char *names;  // every name once, one after another
    size_t names_len, names_room;
    Event *list;
    size_t count, list_room;
    struct Slot {
        uint32_t event;  // its place in list plus 1 (0 is free), and the
        uint32_t check;  // high half of its name's hash, which gives its slot
    } *slots;
    size_t nslots;
    struct Filed {
        uint32_t event;
        float ml;
    } *filed;
    size_t nfiled, filed_room;
    float *grouped;
    size_t grouped_room;
    uint64_t key[2];
};

// SipHash-1-3 of a name under the key.
uint64_t events_hash(const uint64_t key[2], const char *name, size_t len);

// An empty set, with a key of its own.
void events_open(Events &e);
void events_close(Events &e);

// Files a reading under the event of that name, new when it has none yet:
// its station magnitude, or none for a null ml.  False when memory ran out,
// events are too many or the event has as many magnitudes as an int counts.
bool events_file(Events &e, const char *name, size_t len, const float *ml);

// Groups the station magnitudes, so that each event's lie together at
// grouped + first.
void events_group(Events &e);
