// hostgate: the host-to-TCP service. Waits for conversations the host starts towards
// LOCAL_TP; routes each message by its four-character transaction code to a TCP server port,
// forwards it as one frame to DPRE_SERVER, and sends the server's framed reply back on the
// conversation. One conversation at a time.
//
// Usage: hostgate X:\hostgate.ini [section]   (log: hostgate.log in the current directory)
// Exit codes: 0 the loop ended (run flag cleared, or a failed transfer with the TCP server),
// 1 usage or the socket layer cannot start, 2 a missing ini key.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

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
constexpr std::uint8_t dealloc_type = AP_FLUSH;
constexpr std::uint16_t message_max_length = message_buffer_size;
constexpr std::int32_t prefix_size = 4;
constexpr std::size_t transaction_code_size = 4;

// While the APPC node cannot be reached every verb fails at once, and the loop would go round
// as fast as the disk takes its traces. It waits this long before the next RECEIVE_ALLOCATE,
// looking at the run flag every stop_check_interval so that a stop is not held up.
constexpr int unreachable_retry_seconds = 2;
constexpr auto stop_check_interval = std::chrono::milliseconds(100);

struct hostgate_config {
  const char* local_lu;
  const char* local_tp;
  const char* remote_lu;
  const char* remote_tp;
  const char* mode_name;
  std::int32_t ebcdic;
  const char* dpre_server;
  packed_field_table packed;
};

// Transaction codes and their TCP server ports; the ports are set from the configuration.
struct route {
  const char* code;
  std::int32_t port;
};
route routing_table[] = {{"DPRE", -1}};

hostgate_host_buffers host;
hostgate_server_buffers server;

// Held for the whole run (the configuration strings are never released).
hostgate_config configuration;
// The TP identifier of the conversation being served; released when the next one is awaited,
// so that a long run does not grow by one block per conversation.
unsigned char* conversation_tp_id = nullptr;

hostgate_config read_config(const char* file, const char* section) {
  hostgate_config config{};
  config.local_lu = ini_get_string(file, section, "LOCAL_LU");
  config.local_tp = ini_get_string(file, section, "LOCAL_TP");
  config.remote_lu = ini_get_string(file, section, "REMOTE_LU");
  config.remote_tp = ini_get_string(file, section, "REMOTE_TP");
  config.mode_name = ini_get_string(file, section, "MODE_NAME");
  config.ebcdic = ini_get_int(file, section, "EBCDIC");
  config.dpre_server = ini_get_string(file, section, "DPRE_SERVER");
  routing_table[0].port = ini_get_int(file, section, "DPRE_PORT");
  config.packed = read_packed_fields(file, section);

  log_write("\n*** GATEWAY SNA-TCP: LISTEN ***\n\n");
  log_write("\n-- SNA configuration --\n");
  log_write("LOCAL_LU : [%s]\n", config.local_lu);
  log_write("LOCAL_TP : [%s]\n", config.local_tp);
  log_write("REMOTE_LU : [%s]\n", config.remote_lu);
  log_write("REMOTE_TP : [%s]\n", config.remote_tp);
  log_write("MODE_NAME: [%s]\n", config.mode_name);
  log_write("EBCDIC   :  %d\n", config.ebcdic);
  log_write("\n-- TCP configuration --\n");
  log_write("DPRE_SERVER: [%s]\n", config.dpre_server);
  log_write("DPRE_PORT:  %d\n", routing_table[0].port);
  log_write("SYNC_LEVEL:  %d\n", sync_level);
  log_write("\n");
  log_flush();
  return config;
}

// A connected socket to the first address of server:port, or net_invalid_socket after the
// line that says why.
net_socket connect_server(const char* server_name, std::int32_t port) {
  char service[16];
  std::snprintf(service, sizeof service, "%d", port);
  net_address* address = nullptr;
  const int lookup_rc = net_lookup(server_name, service, false, &address);
  if (lookup_rc != 0) {
    log_write("getaddrinfo failed: %d\n", lookup_rc);
    log_flush();
    return net_invalid_socket;
  }
  net_socket socket = net_open(address);
  if (socket == net_invalid_socket) {
    log_write("Error at socket(): %ld\n", static_cast<long>(net_last_error()));
    log_flush();
  } else if (net_connect(socket, address) != 0) {
    net_close(socket);
    socket = net_invalid_socket;
  }
  net_free_address(address);
  if (socket == net_invalid_socket) {
    log_write("TCP unable to connect\n");
    log_flush();
  }
  return socket;
}

// The line that names a failed transfer with the TCP server before the service stops.
// result is the transfer's result, count the byte count it was asked for.
void log_transfer_failure(const char* step, std::int32_t result, std::int32_t count,
                          int socket_error) {
  if (count <= 0 || count > message_buffer_size)
    log_write("TCP %s failed: the frame announces %d bytes\n", step, count);
  else if (result == 0)
    log_write("TCP %s failed: connection closed by the server\n", step);
  else
    log_write("TCP %s failed: socket error %d\n", step, socket_error);
  log_flush();
}

// One frame to the server and its framed reply into server.reply. Returns the reply length,
// or 0 after the failure line when a transfer failed.
std::int32_t transfer(net_socket socket, std::uint16_t message_length) {
  log_timestamp();
  length_to_net(message_length, server.length.data());
  log_write("TCP sending msg header\n");
  log_flush();
  std::int32_t result = tcp_send_all(socket, server.length.data(), prefix_size);
  int socket_error = net_last_error();
  log_write("TCP sent %d bytes\n", result);
  log_flush();
  if (result <= 0) {
    log_transfer_failure("sending msg header", result, prefix_size, socket_error);
    return 0;
  }
  log_write("TCP sending msg body\n");
  log_flush();
  result = tcp_send_all(socket, server.message.data(), message_length);
  socket_error = net_last_error();
  log_write("TCP sent %d bytes\n", result);
  log_flush();
  if (result <= 0) {
    log_transfer_failure("sending msg body", result, message_length, socket_error);
    return 0;
  }

  result = tcp_recv_all(socket, server.length.data(), prefix_size);
  if (result <= 0) {
    log_transfer_failure("receiving reply header", result, prefix_size, net_last_error());
    return 0;
  }
  log_timestamp();
  log_write("Recibidos %d bytes\n", result);
  const std::int32_t reply_length = length_from_net(server.length.data());
  log_timestamp();
  log_write("TCP receiving reply...\n");
  log_flush();
  if (!frame_length_accepted(reply_length)) {
    log_transfer_failure("receiving reply body", 0, reply_length, 0);
    return 0;
  }
  result = tcp_recv_all(socket, server.reply.data(), reply_length);
  if (result <= 0) {
    log_transfer_failure("receiving reply body", result, reply_length, net_last_error());
    return 0;
  }
  return result;
}

bool appc_unreachable(std::uint16_t primary_rc) {
  return primary_rc == AP_COMM_SUBSYSTEM_ABENDED || primary_rc == AP_COMM_SUBSYSTEM_NOT_LOADED;
}

void wait_before_retry() {
  log_write("APPC node unreachable: next RECEIVE_ALLOCATE in %d seconds\n",
            unreachable_retry_seconds);
  log_flush();
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::seconds(unreachable_retry_seconds);
  while (run_flag_is_set() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(stop_check_interval);
}

}  // namespace

// The TCP server port of the transaction code in the first four bytes of message (EBCDIC),
// -1 when the code is unknown. Writes the routing line.
std::int32_t route_transaction(const unsigned char* message) {
  char code[transaction_code_size + 1] = {};
  std::memcpy(code, message, transaction_code_size);
  to_ascii(code, transaction_code_size);
  std::int32_t port = -1;
  for (const route& entry : routing_table)
    if (std::strcmp(code, entry.code) == 0) port = entry.port;
  log_write("TRANSACCION: [%s]  -->  PUERTO: [%d]\n", code, port);
  log_flush();
  return port;
}

int main(int argc, char** argv) {
  const service_command command =
      service_start("hostgate.log", "\nHOSTGATE  X:\\hostgate.ini [section]", argc, argv);
  configuration = read_config(command.ini_file, command.section);

  appc_startup();
  const int startup_rc = net_startup();
  if (startup_rc != 0) {
    log_write("WSAStartup failed: %d\n", startup_rc);
    log_flush();
    std::exit(1);
  }

  while (run_flag_is_set()) {
    reset_buffers(host);
    log_timestamp();
    log_write("appc_receive_allocate()\n");
    log_flush();
    std::uint32_t conv_id = 0;
    std::free(conversation_tp_id);
    appc_receive_allocate(&conv_id, &conversation_tp_id, configuration.local_tp);
    appc_trace();
    if (!run_flag_is_set()) break;
    appc_trace_state(conv_id, conversation_tp_id);

    log_timestamp();
    log_write("appc_mc_receive_and_wait()\n");
    log_flush();
    std::uint16_t data_length = 0;
    std::uint16_t what_received = 0;
    const std::uint16_t receive_rc = appc_mc_receive_and_wait(
        conv_id, conversation_tp_id, message_max_length, host.message.data(), &data_length, &what_received);
    appc_trace();
    log_timestamp();
    log_dump(host.message.data(), data_length);
    if (receive_rc != AP_OK) {
      if (appc_unreachable(receive_rc)) wait_before_retry();
      continue;
    }

    const std::int32_t port = route_transaction(host.message.data());
    if (port < 0) {
      log_write("Transaccion desconocida.\n");
      log_flush();
      continue;
    }
    reset_buffers(server);
    // The receive verb never delivers more than it was asked for; the bound keeps a faulty
    // APPC service from taking the copy past the buffers.
    const std::uint16_t message_length = data_length < message_max_length ? data_length
                                                                          : message_max_length;
    std::memcpy(server.message.data(), host.message.data(), message_length);
    log_write("NO REABRIR CONVERSACION.\n");
    log_flush();

    const net_socket socket = connect_server(configuration.dpre_server, port);
    if (socket == net_invalid_socket) continue;

    if (configuration.ebcdic != 0) {
      log_write("EBCDIC to ASCII conversion\n");
      std::memcpy(server.unconverted.data(), server.message.data(), message_length);
      to_ascii(server.message.data(), message_length);
      log_write("Restoring packed fields:\n");
      log_flush();
      restore_packed_fields(server.message, server.unconverted, configuration.packed);
      log_write("ASCII: \n");
      log_dump(server.message.data(), message_length);
      log_write("\n");
      log_flush();
    }

    const std::int32_t reply_length = transfer(socket, message_length);
    if (reply_length <= 0) break;

    log_timestamp();
    log_write("Received %d bytes\n", reply_length);
    log_write("rsp: [%*.*s]\n", reply_length, reply_length,
              reinterpret_cast<const char*>(server.reply.data()));
    log_write("\nASCII: \n");
    log_dump(server.reply.data(), reply_length);
    log_write("\nEBCDIC: \n");
    std::memcpy(host.reply.data(), server.reply.data(), reply_length);
    to_ebcdic(host.reply.data(), reply_length);
    log_dump(host.reply.data(), reply_length);

    log_timestamp();
    log_write("SNA sending reply...\n");
    log_write("appc_mc_send_data()\n");
    log_flush();
    appc_mc_send_data(conv_id, conversation_tp_id, host.reply.data(), static_cast<std::uint16_t>(reply_length));
    appc_trace();
    appc_trace_state(conv_id, conversation_tp_id);

    log_timestamp();
    log_write("TCP shutdown\n");
    log_flush();
    service_shutdown_send(socket, "Failed shutdown: %d\n");
    net_close(socket);
    log_write("TCP connection closed.\n");
    log_write("appc_mc_deallocate()\n");
    log_flush();
    appc_mc_deallocate(conv_id, conversation_tp_id, dealloc_type);
    appc_trace();
    log_write("\n\nREADY.\n\n");
    log_flush();
  }

  net_cleanup();
  appc_cleanup();
  return 0;
}
