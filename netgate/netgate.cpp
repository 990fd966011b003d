// netgate: the TCP-to-host service. Listens on PORT; each client sends one framed request,
// which goes on a conversation of its own to REMOTE_TP; the host's reply goes back to the
// client as one framed reply. One connection at a time, from accept to close.
//
// Usage: netgate X:\netgate.ini [section]   (log: netgate.log in the current directory)
// Exit codes: 0 stopped (run flag cleared), 1 usage or a socket failure at start or in
// accept, 2 a missing ini key or PORT 0.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "appc/charset.h"
#include "appc/config.h"
#include "appc/log.h"
#include "appc/trace.h"
#include "appc/verbs.h"
#include "netgate/frame.h"
#include "netgate/service.h"
#include "platform/net.h"
#include "platform/run_flag.h"

namespace {

constexpr std::uint8_t sync_level = AP_NONE;
constexpr std::uint8_t local_dealloc_type = AP_FLUSH;
constexpr std::uint16_t reply_max_length = message_buffer_size;
constexpr int listen_backlog = 0x7FFFFFFF;  // the platform's maximum (SOMAXCONN)
constexpr std::int32_t prefix_size = 4;

// A client that connects and then sends nothing (or stops halfway) must not hold the only
// thread: a receive that waits longer than this ends the exchange as a socket failure.
constexpr int client_receive_timeout_seconds = 10;

struct netgate_config {
  std::int32_t port;
  const char* local_lu;
  const char* local_tp;
  const char* remote_lu;
  const char* remote_tp;
  const char* mode_name;
  std::int32_t ebcdic;
  packed_field_table packed;
};

netgate_connection_buffers connection;
netgate_host_buffers host;

// Held for the whole run (the configuration strings and the TP identifier are never released).
netgate_config configuration;
unsigned char* started_tp_id = nullptr;

netgate_config read_config(const char* file, const char* section) {
  netgate_config config{};
  config.port = ini_get_int(file, section, "PORT");
  config.local_lu = ini_get_string(file, section, "LOCAL_LU");
  config.local_tp = ini_get_string(file, section, "LOCAL_TP");
  config.remote_lu = ini_get_string(file, section, "REMOTE_LU");
  config.remote_tp = ini_get_string(file, section, "REMOTE_TP");
  config.mode_name = ini_get_string(file, section, "MODE_NAME");
  config.ebcdic = ini_get_int(file, section, "EBCDIC");

  log_write("\n*** GATEWAY SNA-TCP: TALK ***\n\n");
  log_write("\n-- TCP configuration --\n");
  log_write("PORT     :  %d\n", config.port);
  log_write("\n-- SNA configuration --\n");
  log_write("LOCAL_LU : [%s]\n", config.local_lu);
  log_write("LOCAL_TP : [%s]\n", config.local_tp);
  log_write("REMOTE_LU: [%s]\n", config.remote_lu);
  log_write("REMOTE_TP: [%s]\n", config.remote_tp);
  log_write("MODE_NAME: [%s]\n", config.mode_name);
  log_write("EBCDIC   :  %d\n", config.ebcdic);
  log_flush();

  config.packed = read_packed_fields(file, section);
  log_write("SYNC_LEVEL:  %d\n", sync_level);
  log_write("DEALLOC_TYPEL:  %d\n", local_dealloc_type);
  log_write("\n");
  log_flush();
  return config;
}

// Socket start-up to a listening socket; every failure ends the process with exit code 1.
net_socket open_listener(std::int32_t port) {
  char service[16];
  std::snprintf(service, sizeof service, "%d", port);

  const int startup_rc = net_startup();
  if (startup_rc != 0) {
    log_write("WSAStartup failed: %d\n", startup_rc);
    log_flush();
    std::exit(1);
  }
  net_address* address = nullptr;
  const int lookup_rc = net_lookup(nullptr, service, true, &address);
  if (lookup_rc != 0) {
    log_write("getaddrinfo failed: %d\n", lookup_rc);
    log_flush();
    net_cleanup();
    std::exit(1);
  }
  log_write("\nStarting server in port %d\n", port);
  log_flush();

  const net_socket listener = net_open(address);
  if (listener == net_invalid_socket) {
    log_write("socket failed: %ld\n", static_cast<long>(net_last_error()));
    log_flush();
    net_free_address(address);
    net_cleanup();
    std::exit(1);
  }
  if (net_bind(listener, address) != 0) {
    log_write("bind failed: %d\n", net_last_error());
    log_flush();
    net_free_address(address);
    net_close(listener);
    net_cleanup();
    std::exit(1);
  }
  net_free_address(address);
  if (net_listen(listener, listen_backlog) != 0) {
    log_write("listen failed: %d\n", net_last_error());
    log_flush();
    net_close(listener);
    net_cleanup();
    std::exit(1);
  }
  return listener;
}

// The request frame, the conversation and the reply frame of one connection. Returns the
// result of the last socket transfer: greater than 0 after a complete exchange (or a refused
// frame length), 0 when the peer closed, -1 on a socket error.
std::int32_t exchange(net_socket client, const netgate_config& config,
                      const unsigned char* tp_id) {
  std::int32_t result = tcp_recv_all(client, connection.length.data(), prefix_size);
  if (result <= 0) return result;
  log_write("Recibidos %d bytes\n", result);
  log_write("rc = %d\n", result);
  const std::int32_t request_length = length_from_net(connection.length.data());
  log_write("tcp_req_size = %d\n", request_length);
  log_flush();
  if (!frame_length_accepted(request_length)) return result;

  result = tcp_recv_all(client, connection.request.data(), request_length);
  if (result <= 0) return result;
  log_timestamp();
  log_write("Recibidos %d bytes\n", result);
  log_write("rc = %d\n", result);
  log_write("REQ: [%*.*s]\n", result, result, reinterpret_cast<const char*>(connection.request.data()));
  log_write("ASCII: \n");
  log_dump(connection.request.data(), result);
  log_write("\n");

  const std::uint16_t host_request_length = static_cast<std::uint16_t>(request_length);
  log_write("sna_req_size = %d\n", host_request_length);
  log_flush();
  std::memcpy(host.request.data(), connection.request.data(), host_request_length);
  if (config.ebcdic != 0) {
    std::memcpy(connection.unconverted.data(), connection.request.data(), request_length);
    to_ebcdic(host.request.data(), host_request_length);
    restore_packed_fields(host.request, connection.unconverted, config.packed);
    log_write("EBCDIC: \n");
    log_dump(host.request.data(), host_request_length);
    log_write("\n");
    log_flush();
  }

  std::uint32_t conv_id = 0;
  log_timestamp();
  log_write("appc_mc_allocate()\n");
  log_flush();
  appc_mc_allocate(&conv_id, tp_id, config.remote_lu, config.remote_tp, config.mode_name,
                   sync_level);
  appc_trace();
  appc_trace_state(conv_id, tp_id);

  log_timestamp();
  log_write("appc_mc_send_data()\n");
  log_flush();
  appc_mc_send_data(conv_id, tp_id, host.request.data(), host_request_length);
  appc_trace();
  appc_trace_state(conv_id, tp_id);

  log_timestamp();
  log_write("appc_mc_recv_and_wait()\n");
  log_flush();
  std::uint16_t received_length = 0;
  std::uint16_t what_received = 0;
  const std::uint16_t receive_rc = appc_mc_receive_and_wait(
      conv_id, tp_id, reply_max_length, host.reply.data(), &received_length, &what_received);
  const bool host_ended = receive_rc == AP_DEALLOC_NORMAL;
  if (host_ended) {
    log_write("CIERRE REMOTO OK.\n");
    log_flush();
  } else {
    log_write("FALLO CIERRE REMOTO.\n");
    log_flush();
    appc_trace();
    appc_trace_state(conv_id, tp_id);
  }
  log_write("EBCDIC: \n");
  log_dump(host.reply.data(), received_length);
  log_write("\n");
  log_flush();

  // The receive verb never delivers more than it was asked for; the bound keeps a faulty
  // APPC service from taking the copy past the buffers.
  const std::uint16_t reply_length = std::min(received_length, reply_max_length);
  std::memcpy(connection.client_reply.data(), host.reply.data(), reply_length);
  to_ascii(connection.client_reply.data(), reply_length);

  if (!host_ended) {
    log_timestamp();
    log_write("CIERRE LOCAL\n");
    log_write("appc_mc_deallocate()\n");
    log_flush();
    appc_mc_deallocate(conv_id, tp_id, local_dealloc_type);
    appc_trace();
  }
  log_write("RSP: [%*.*s]\n", reply_length, reply_length,
            reinterpret_cast<const char*>(connection.client_reply.data()));
  log_flush();

  length_to_net(reply_length, connection.length.data());
  result = tcp_send_all(client, connection.length.data(), prefix_size);
  if (result <= 0) return result;
  log_timestamp();
  log_write("Enviados %d bytes por TCP\n", result);
  log_flush();
  result = tcp_send_all(client, connection.client_reply.data(), reply_length);
  if (result <= 0) return result;
  log_write("Enviados %d bytes por TCP\n", result);
  log_flush();
  return result;
}

// Every exchange ends here: what ended it, then the half-close and the close.
void close_connection(net_socket client, std::int32_t last_result) {
  if (last_result == -1) log_write("Socket failed: %d\n", net_last_error());
  if (last_result == 0) log_write("Connection closing\n");
  log_flush();
  log_timestamp();
  log_write("Bajando conexion TCP\n");
  log_flush();
  service_shutdown_send(client, "Shutdown failed: %d\n");
  log_timestamp();
  net_close(client);
  log_write("Conexion TCP cerrada\n");
  log_flush();
}

}  // namespace

int main(int argc, char** argv) {
  const service_command command =
      service_start("netgate.log", "\nNETGATE  X:\\netgate.ini [section]", argc, argv);
  configuration = read_config(command.ini_file, command.section);

  appc_startup();
  log_timestamp();
  log_write("appc_tp_started()\n");
  log_flush();
  appc_tp_started(&started_tp_id, configuration.local_lu, configuration.local_tp);
  appc_trace();

  if (configuration.port == 0) {
    log_write("PUERTO NO VALIDO\n");
    log_flush();
    std::exit(2);
  }
  const net_socket listener = open_listener(configuration.port);

  while (run_flag_is_set()) {
    reset_buffers(connection);
    log_timestamp();
    log_write("\n\nEsperando conexion TCP ...\n");
    log_flush();
    const net_socket client = net_accept(listener);
    if (client == net_invalid_socket) {
      if (!run_flag_is_set()) break;
      log_write("accept failed: %d\n", net_last_error());
      log_flush();
      net_close(listener);
      net_cleanup();
      std::exit(1);
    }
    log_timestamp();
    log_write("Conexion aceptada.\n");
    log_flush();
    net_set_recv_timeout(client, client_receive_timeout_seconds);
    close_connection(client, exchange(client, configuration, started_tp_id));
  }

  net_close(listener);
  net_cleanup();
  log_timestamp();
  log_write("appc_tp_ended()\n");
  log_flush();
  appc_tp_ended(started_tp_id);
  appc_trace();
  appc_cleanup();
  return 0;
}
