// Who is at the other end of a client's connection, for the message server's peer filter.
// The endpoint layer hides its sockets, so the server's listening endpoint drives the
// built-in interfaces through a copy of their table whose queue step notes, on a client's
// first read, the socket the read is queued on.
#pragma once

#include <cstdint>

struct io_interface_s;

namespace wrl {

// The built-in interface table (same order, same interfaces) with every queue step wrapped:
// a read queued with a Client* as its user records the connection's socket in that
// client's `socket` field when it has none yet. Lives for the whole process.
const io_interface_s* PeerNotingInterfaces();

// The peer of a connected socket as the filter sees it: family 4 with 4 address bytes
// (an IPv4-mapped IPv6 peer counts as IPv4) or family 6 with 16. false when the socket has
// no network peer (another kind of connection) or the call fails.
bool PeerAddressOf(int socket, int* family, uint8_t address[16]);

}  // namespace wrl
