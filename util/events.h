// The events of a bulletin, for "pelmor -n": each held once under its name,
// in the order of its first reading, with the station magnitudes of its
// readings.
#pragma once

#include <cstddef>
#include <cstdint>

struct Event {
    size_t name, name_len;  // where its name lies in Events::names
    uint64_t hash;          // of its name
    float *ml;              // its station magnitudes
    int n, room;            // how many, and room for how many
};

struct Events {
    char *names;       // every name once, one after another, and then the
    size_t names_len;  // one being gathered, of `gathered` characters
    size_t names_room;
    size_t gathered;
    Event *list;  // in the order of their first readings
    size_t count, list_room;
    size_t *slots;  // the table that finds an event by its name: its place
    size_t nslots;  // in list, plus 1; 0 is free
    uint64_t key[2];
};

// An empty set, with a key of its own for the hash of names.
void events_open(Events &e);
void events_close(Events &e);

// Gathers a piece of the name being read, when it is read in pieces; the
// name gathered so far begins at events_gathered(e).  False when memory ran out.
bool events_gather(Events &e, const char *piece, size_t len);
inline const char *events_gathered(const Events &e) { return e.names + e.names_len; }

// The event of that name, new when it has none yet; null when memory ran
// out.  The name may be the one gathered, or its start; either way the
// gathering begins anew.
Event *events_find(Events &e, const char *name, size_t len);

// Files a station magnitude under the event.  False when memory ran out,
// or the event holds as many as an int counts.
bool events_file(Event &ev, float ml);
