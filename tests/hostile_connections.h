// Hostile connections for the reliability tests: plain sockets that send random bytes,
// stop half-way through a frame, announce huge payloads, or just connect and go; plus
// the process figures the tests watch (resident memory, open-file limits, liveness).
// Every socket call has a bound: sends are non-blocking, reads use poll with a time-out.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <string>

namespace qm_hostile {

// A connected loopback socket (blocking connect, then non-blocking), or -1.
int connect_to(int port);

// Closes a socket; with `reset` the close sends an RST instead of a FIN.
void close_socket(int fd, bool reset = false);

// Sends what the socket takes without blocking; returns the bytes sent (-1 on error).
long send_some(int fd, const void* data, size_t size);

// True when the peer has closed the connection (read gives 0 or an error) within
// `timeout_ms`; whatever arrives before that is read and dropped.
bool peer_closes(int fd, int timeout_ms);

// One frame header (88 bytes) with the fields as given; magic and version are the real
// ones unless overridden.
std::string frame_header(uint32_t kind, uint32_t length, const std::string& to,
                         const std::string& from, uint32_t magic = 28004, uint32_t version = 18);

// Random bytes, now and then starting with a valid header prefix so that the reader gets
// past its first checks. Connects, sends, reads a little, closes (sometimes with RST).
void send_random_bytes(int port, std::mt19937& random);

// Connects and sends part of a frame: a few header bytes, a whole header announcing a
// request record with only part of it, or an identify cut short. Returns the socket, to
// be kept open and silent, or -1.
int stall_half_frame(int port, std::mt19937& random);

// Connects and announces a payload of `length` bytes, then sends `sent` bytes of it.
// Returns the socket or -1.
int announce_payload(int port, uint32_t length, size_t sent);

// Connects, identifies under `name` and sends whole request records (CDB_TEST_CONNECTION,
// addressed to itself) for about 100 ms, as fast as the socket takes them, never reading a
// reply. Adds the requests sent to *sent. Returns the socket or -1.
int open_deaf(int port, const std::string& name, std::atomic<long>* sent);

// Connects and identifies under `name` without reading the reply (when name is empty,
// sends nothing at all). Returns the socket or -1.
int open_idle(int port, const std::string& name);

// Reads one whole frame header (88 bytes) within `timeout_ms`; false on time-out or close.
bool read_reply(int fd, int timeout_ms);

// Resident memory of a process in KiB (VmRSS), -1 when it cannot be read.
long resident_kib(pid_t pid);

// True while the process exists and is not a zombie.
bool process_alive(pid_t pid);

// Soft and hard open-file limits of a process from /proc/<pid>/limits (-1 for unlimited
// or unreadable). True when the line was found.
bool open_file_limits(pid_t pid, long* soft, long* hard);

// Sets this process's soft open-file limit (clamped to the hard limit); returns the new
// soft limit.
long set_own_file_limit(long soft);

}  // namespace qm_hostile
