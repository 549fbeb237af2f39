// A domain and its event containers in a stream, as database files carry them, and the
// store's own way of opening such a file. The domain block carries what gives a time id its
// meaning (the guid prefix, the id counter and the imported guids), so ids written with a
// file name the same objects after a read; an events block carries one container's events
// with their descriptions and time ids.
//
// This header is the contract. Result convention as in table_store.h: an int result of 0
// means success, anything else failure; out-parameters are written only on success.
// Not thread-safe: every caller uses the store from one thread at a time.
//
// Blocks are self-checking (magic, format version, counts, CRC-32, little-endian) and are
// untrusted on reading: counts are checked against what the stream delivers before memory
// is taken for them, the whole block is read and verified before anything changes, and a
// read that fails leaves the domain and its containers exactly as they were (the stream
// position is then unspecified). Reads never seek, so pipes and compressed streams work.
#pragma once

#include <cstdint>
#include <cstdio>

#include "outside/store_domain.h"
#include "outside/store_domain_tables.h"

// Flags of dbv_read_domain.
enum : int32_t {
    // Keep the run-time events as they are: no baseline event is made.
    DBV_READDOMAIN_KEEP_RUNTIME_EVENTS = 0x400,
    // Allow the read to replace a domain in use by the state of another domain.
    DBV_READDOMAIN_REPLACE_FOREIGN = 0x4000,
};

// Mode bits of dbv_read_domain: 8 is always set; the others may be added.
enum : int32_t {
    DBV_READDOMAIN_FULL = 8,
    DBV_READDOMAIN_INCREMENTAL = 1,
    DBV_READDOMAIN_IDS = 32,
};

// Writes the domain's guid prefix, id counter and imports (also those dbv_cleardomain
// made forgotten) at the stream's position. Event containers are not part of the block:
// each is written with dbv_write_domainevents. Non-zero for a null stream, a stale domain
// or a failed write.
int dbv_write_domain(FILE* stream, dbv_domain_s* domain);

// Reads a block of dbv_write_domain into `domain`, which then has the block's guid prefix,
// id counter and imports exactly: every time id of the file means what it meant when the
// file was written, and the next fresh id follows the block's counter. The domain's event
// containers stay (with their events and time ids).
//   version   the version word of the file's domain section; only 1 is known.
//   mode      8 (a whole domain), plus 1 for an incremental file, plus 32 when the file's
//             tables use time ids as their identifiers (8, 9, 40 or 41; other modes are
//             refused). Incremental: the block must be a later state of this very domain:
//             the same guid prefix, a counter not below the domain's, and every import the
//             domain knows present in the block under the same local id. Ids are kept
//             exactly in every mode, so 32 asks for nothing beyond that.
//   flags     0 or any of DBV_READDOMAIN_KEEP_RUNTIME_EVENTS (0x400) and
//             DBV_READDOMAIN_REPLACE_FOREIGN (0x4000); other bits are refused. Without
//             0x4000 a domain that has handed out ids (imports included) takes only a block
//             of its own guid prefix whose counter is not below its own, so that the ids its
//             rows and events hold keep their meaning; with 0x4000 the caller vouches for
//             that (only the events are checked, see below).
//   baseline  the event that marks the previous read (null when none); when given it must
//             be an event of the domain. The read neither deletes nor renames it: that is
//             the caller's matter.
//   runtimeEvents  without 0x400 a container of the domain (required), to which the read
//             appends one new event without description at a fresh time id just after the
//             block's counter: the baseline of this read, which the caller names. With
//             0x400 it may be null and is not touched.
//   header    when not null, receives a domain header of the domain made with
//             dbv_createdomainheader after the block was applied; it is the one
//             dbv_read_domainevents takes. The caller releases it (dbv_deletedomainheader).
// Refused besides: a stale domain, event or container; a corrupt or truncated block; imports
// with the domain's own prefix, out of order, outside the counter or known twice; and any
// event of the domain (baseline included) whose time id lies beyond the block's counter,
// since that id would be handed out a second time.
int dbv_read_domain(FILE* stream, int32_t version, dbv_domain_s* domain, dbv_event_s* baseline,
                    dbv_domainevents_s* runtimeEvents, int32_t flags, int32_t mode,
                    dbv_domainheader_s** header);

// Writes the container's events in number order, each with its time id and description
// (a null description stays null), together with the guid prefix of the domain.
int dbv_write_domainevents(FILE* stream, dbv_domainevents_s* events);

// Reads a block of dbv_write_domainevents into a new container of the header's domain:
// events in the same order with the same descriptions and time ids. `header` must be one
// that dbv_read_domain handed out. Refused: a block of another guid prefix, a time id the
// domain does not know, a corrupt or truncated block; no container is made then.
int dbv_read_domainevents(FILE* stream, dbv_domainheader_s* header, dbv_domainevents_s** events);

// Opens a database file. `mode` is "r", "w" or "a", then optionally "b" and/or "+" (binary
// is the only kind here). The stream is closed with dbv_fclose. Null for a null name or
// mode, a mode not understood, or a file that cannot be opened.
FILE* dbv_fopen(const char* name, const char* mode);

// Closes a stream of dbv_fopen: 0 on success, EOF on failure or for null.
int dbv_fclose(FILE* stream);
