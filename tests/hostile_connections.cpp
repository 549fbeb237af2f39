// Hostile connections and process figures; see hostile_connections.h.
#include "tests/hostile_connections.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace qm_hostile {
namespace {

void put_u32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}

std::string random_bytes(std::mt19937& random, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random());
  return s;
}

}  // namespace

int connect_to(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

void close_socket(int fd, bool reset) {
  if (fd < 0) return;
  if (reset) {
    const linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  ::close(fd);
}

long send_some(int fd, const void* data, size_t size) {
  const long n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : n;
}

bool peer_closes(int fd, int timeout_ms) {
  char buffer[4096];
  for (int waited = 0; waited <= timeout_ms; waited += 10) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) > 0) {
      const long n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n == 0) return true;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return true;
    }
  }
  return false;
}

std::string frame_header(uint32_t kind, uint32_t length, const std::string& to,
                         const std::string& from, uint32_t magic, uint32_t version) {
  std::string h(88, '\0');
  h[0] = static_cast<char>(magic);
  h[1] = static_cast<char>(magic >> 8);
  h[2] = static_cast<char>(version);
  h[3] = static_cast<char>(kind);
  put_u32(h, 8, length);
  std::memcpy(&h[24], to.data(), std::min<size_t>(to.size(), 32));
  std::memcpy(&h[56], from.data(), std::min<size_t>(from.size(), 32));
  return h;
}

void send_random_bytes(int port, std::mt19937& random) {
  const int fd = connect_to(port);
  if (fd < 0) return;
  std::string bytes = random_bytes(random, 1 + random() % 2048);
  if (random() % 2 == 0) {
    // A believable prefix: the real magic and version, a random kind and a small length.
    const std::string head =
        frame_header(random() % 10, random() % 600, random_bytes(random, random() % 40),
                     random_bytes(random, random() % 40));
    bytes = head + bytes;
  }
  send_some(fd, bytes.data(), bytes.size());
  char sink[512];
  (void)::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
  close_socket(fd, random() % 3 == 0);
}

int stall_half_frame(int port, std::mt19937& random) {
  const int fd = connect_to(port);
  if (fd < 0) return -1;
  std::string bytes;
  switch (random() % 3) {
    case 0:  // inside the header
      bytes = frame_header(0, 352, "x", "y").substr(0, 1 + random() % 87);
      break;
    case 1:  // a whole header announcing a request record, and part of the record
      bytes = frame_header(0, 352, "nobody", "nobody") + random_bytes(random, random() % 352);
      break;
    default:  // an identify cut inside the names
      bytes = frame_header(2, 0, "", "staller").substr(0, 24 + random() % 60);
      break;
  }
  send_some(fd, bytes.data(), bytes.size());
  return fd;
}

int announce_payload(int port, uint32_t length, size_t sent) {
  const int fd = connect_to(port);
  if (fd < 0) return -1;
  const std::string head = frame_header(0, length, "nobody", "nobody");
  send_some(fd, head.data(), head.size());
  const std::vector<char> body(sent, 'p');
  size_t done = 0;
  for (int tries = 0; done < sent && tries < 200; ++tries) {
    const long n = send_some(fd, body.data() + done, sent - done);
    if (n < 0) break;
    done += static_cast<size_t>(n);
    if (n == 0) ::usleep(1000);
  }
  return fd;
}

int open_deaf(int port, const std::string& name, std::atomic<long>* sent) {
  const int fd = open_idle(port, name);
  if (fd < 0) return fd;
  std::string request(352, '\0');
  request[0] = 8;  // CDB_TEST_CONNECTION
  const std::string frame = frame_header(0, 352, name, name) + request;
  std::string burst;
  for (int i = 0; i < 64; ++i) burst += frame;
  size_t offset = 0;  // position inside the burst, so that only whole frames go out in order
  for (int round = 0; round < 100; ++round) {
    const long n = send_some(fd, burst.data() + offset, burst.size() - offset);
    if (n < 0) break;
    const size_t before = offset / frame.size();
    offset += static_cast<size_t>(n);
    *sent += static_cast<long>(offset / frame.size() - before);
    if (offset == burst.size()) offset = 0;
    if (n == 0) ::usleep(1000);
  }
  return fd;
}

int open_idle(int port, const std::string& name) {
  const int fd = connect_to(port);
  if (fd < 0 || name.empty()) return fd;
  const std::string identify = frame_header(2, 0, "", name);
  send_some(fd, identify.data(), identify.size());
  return fd;
}

bool read_reply(int fd, int timeout_ms) {
  char header[88];
  size_t got = 0;
  for (int waited = 0; got < sizeof header && waited <= timeout_ms; waited += 10) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    const long n = ::recv(fd, header + got, sizeof header - got, MSG_DONTWAIT);
    if (n == 0) return false;
    if (n > 0) got += static_cast<size_t>(n);
  }
  return got == sizeof header;
}

long resident_kib(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

bool process_alive(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("State:", 0) == 0) return line.find('Z') == std::string::npos;
  }
  return false;
}

bool open_file_limits(pid_t pid, long* soft, long* hard) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/limits");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Max open files", 0) != 0) continue;
    std::istringstream fields(line.substr(14));
    std::string s, h;
    fields >> s >> h;
    *soft = s == "unlimited" ? -1 : std::stol(s);
    *hard = h == "unlimited" ? -1 : std::stol(h);
    return true;
  }
  return false;
}

long set_own_file_limit(long soft) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  rlim_t wanted = static_cast<rlim_t>(soft);
  if (limit.rlim_max != RLIM_INFINITY && wanted > limit.rlim_max) wanted = limit.rlim_max;
  limit.rlim_cur = wanted;
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  return static_cast<long>(limit.rlim_cur);
}

}  // namespace qm_hostile
