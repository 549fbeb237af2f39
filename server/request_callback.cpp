// Glue between the message server and the request handling: unpacks the message, lets
// process_request_payload change its payload in place and turns it into the reply.
#include "server/request_callback.h"

#include <cstdio>

#include "server/client_bookkeeping.h"
#include "server/request_handler.h"

namespace {

// The log is written out at the end of every callback: whoever follows it sees each
// request's lines as soon as the request is done, at one write per request, not per line.
struct flush_log_on_return {
  ~flush_log_on_return() { std::fflush(stdout); }
};

int on_client_connected(const char* name, void* user) {
  flush_log_on_return flush;
  return client_connected(name, user);
}

void on_client_disconnected(const char* name, void* user) {
  flush_log_on_return flush;
  client_disconnected(name, user);
}

}  // namespace

int handle_request(wrl_msg* request, wrl_msg* reply, void* /*user*/) {
  flush_log_on_return flush;
  const char* to = nullptr;
  const char* from = nullptr;
  int32_t priority = 0;
  void* payload = nullptr;
  uint32_t length = 0;
  wrl_msgsrv_getmsg(request, &to, &from, &priority, &payload, &length);
  const uint32_t status =
      process_request_payload(to, from, priority, static_cast<unsigned char*>(payload), length);
  if (status != 0) return static_cast<int>(status);
  const int rc = wrl_msgsrv_setmsg(reply, to, from, priority, payload, length);
  if (rc != 0) return rc;
  wrl_msgsrv_addrecipient(reply, to);
  return 0;
}

void register_server_handlers(wrl_msgsrv* server) {
  wrl_msgsrv_setmsghandler(server, handle_request, nullptr);
  wrl_msgsrv_setconnecthandler(server, on_client_connected, nullptr);
  wrl_msgsrv_setdisconnecthandler(server, on_client_disconnected, nullptr);
}
