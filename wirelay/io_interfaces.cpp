// Assembles the built-in descriptor table. A new interface adds its descriptor here, after
// the ones already listed; the core never names an interface anywhere else.
#include "wirelay/io_interfaces.h"

#include "wirelay/io_serial.h"
#include "wirelay/io_tcpip.h"

const io_interface_s* io_builtin_interfaces() {
    static const io_interface_s table[] = {
        io_tcpip_interface,
        io_serial_interface,
        io_interface_s{},
    };
    return table;
}
