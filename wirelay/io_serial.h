// Serial interface of the I/O core (interface type IO_IF_SERIAL): read and write requests
// on serial ports, performed by one serial thread per core. The thread sleeps on the ports
// it has work for and on a wake-up descriptor through which application threads post their
// commands, one at a time through a single command slot.
//
// Transfers: a read completes at once with whatever has arrived (0 bytes included, result
// IO_OK), except a read queued with `partial` set, which waits until at least one byte is
// in. A write completes once all its bytes are out. A device error completes the request
// with IO_EFAIL; a read that waited and found the line hung up completes with IO_EBROKEN.
// Accepts complete with IO_EFAIL; the recv and send operations give IO_EINVOP.
#pragma once

#include <cstdint>

#include "wirelay/io_core.h"

constexpr uint32_t IO_SERIAL_DEVICE_MAX = 255;  // characters of a device path

// Address record of the serial interface. Speeds the terminal driver does not know, byte
// sizes outside 5..8 and stop bits other than 1 and 2 make the open fail with IO_EINVAL
// before the device is touched; a parity above 2 keeps the port's parity.
struct io_serial_addr_s {
    char device[IO_SERIAL_DEVICE_MAX + 1];  // zero-terminated path of the device
    uint32_t baud;
    uint32_t bytesize;
    uint32_t parity;    // 0 none, 1 even, 2 odd
    uint32_t stopbits;  // 1 or 2
};

// Commands of the serial thread.
enum : uint32_t {
    IO_SERIALCMD_QUEUE = 1,   // take the request's lock, acknowledge, start the transfer
    IO_SERIALCMD_REMOVE = 2,  // drop the request (its transfer stops), release its lock
    IO_SERIALCMD_QUIT = 3,    // end the thread
    IO_SERIALCMD_CLOSE = 4,   // drop every request of a connection before its port closes
};

// The interface's descriptor (the core's built-in table copies it).
extern const io_interface_s io_serial_interface;
