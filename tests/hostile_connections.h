// Hostile connections for the reliability tests: plain loopback sockets that send random
// bytes, stop half-way through a frame, announce huge payloads or never read a reply;
// plus the process figures the tests watch. Sends never block; reads poll with a bound.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <string>

namespace qm_hostile {

int connect_to(int port);                               // connected and non-blocking, or -1
void close_socket(int fd, bool reset = false);          // `reset`: RST instead of FIN
long send_some(int fd, const void* data, size_t size);  // bytes taken now, -1 on error
// Reads (and drops) up to `want` bytes within `timeout_ms`: the count read, or -1 once
// the peer closes. peer_closes: -1 within the time; read_reply: one whole frame header.
long read_for(int fd, size_t want, int timeout_ms);
inline bool peer_closes(int fd, int timeout_ms) {
    return read_for(fd, SIZE_MAX, timeout_ms) < 0;
}
inline bool read_reply(int fd, int timeout_ms) {
    return read_for(fd, 88, timeout_ms) == 88;
}

// One 88-byte frame header; magic and version are the real ones.
std::string frame_header(uint32_t kind, uint32_t length, const std::string& to,
                         const std::string& from);

// Connects, sends random bytes (half the time behind a believable header), closes.
void send_random_bytes(int port, std::mt19937& random);
// These return the open socket (to be kept silent) or -1. Part of a frame: some header
// bytes, a header and part of its request record, or an identify cut inside the names.
int stall_half_frame(int port, std::mt19937& random);
// A header announcing `length` payload bytes, then `sent` of them.
int announce_payload(int port, uint32_t length, size_t sent);
// Identifies as `name` and, for about 100 ms, sends whole CDB_TEST_CONNECTION records
// as fast as the socket takes them, never reading; adds the records sent to *sent.
int open_deaf(int port, const std::string& name, std::atomic<long>* sent);
// Identifies as `name` (sends nothing when empty) without reading the reply.
int open_idle(int port, const std::string& name);

long resident_kib(pid_t pid);  // VmRSS, -1 when unreadable
// Soft and hard open-file limits from /proc/<pid>/limits (-1: unlimited).
bool open_file_limits(pid_t pid, long* soft, long* hard);
long set_own_file_limit(long soft);  // clamped to the hard limit; the new soft limit

}  // namespace qm_hostile
