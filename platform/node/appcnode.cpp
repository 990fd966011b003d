// appcnode: the APPC node the gateways run against. It serves the APPC interface of every
// local program over loopback TCP and plays the host's transaction programs.
//
//   appcnode --config FILE [--listen HOST:PORT] [--endpoint-file FILE]
//
// The listening address is the first of: --listen, [NODE] LISTEN, the APPCNODE_ENDPOINT
// environment variable, 127.0.0.1:7261. Port 0 takes a free port. --endpoint-file writes the
// address actually bound ("HOST:PORT") and the node's process id, one per line, once the node
// listens. SIGTERM and SIGINT stop the node: every client is disconnected and it exits with 0.
// Exit codes: 0 stopped, 1 bad command line, 2 bad configuration, 3 cannot listen.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <asio.hpp>

#include "platform/node/config.h"
#include "platform/node/engine.h"
#include "platform/node/event_loop.h"
#include "platform/node/node_log.h"
#include "platform/node/server.h"

namespace {

constexpr const char* default_endpoint = "127.0.0.1:7261";
constexpr const char* usage =
    "usage: appcnode --config FILE [--listen HOST:PORT] [--endpoint-file FILE]\n";

bool parse_endpoint(const std::string& text, asio::ip::tcp::endpoint& endpoint) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 >= text.size()) return false;
  asio::error_code error;
  asio::ip::address address = asio::ip::make_address(text.substr(0, colon), error);
  if (error) return false;
  char* end = nullptr;
  long port = std::strtol(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || port < 0 || port > 65535) return false;
  endpoint = asio::ip::tcp::endpoint(address, static_cast<unsigned short>(port));
  return true;
}

bool write_endpoint_file(const std::string& path, const asio::ip::tcp::endpoint& endpoint) {
  std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) return false;
  std::fprintf(file, "%s:%u\n%ld\n", endpoint.address().to_string().c_str(),
               static_cast<unsigned>(endpoint.port()), static_cast<long>(getpid()));
  bool written = std::fclose(file) == 0;
  return written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string config_path;
  std::string listen;
  std::string endpoint_file;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (i + 1 >= argc) {
      std::fputs(usage, stderr);
      return 1;
    }
    if (option == "--config") {
      config_path = argv[++i];
    } else if (option == "--listen") {
      listen = argv[++i];
    } else if (option == "--endpoint-file") {
      endpoint_file = argv[++i];
    } else {
      std::fputs(usage, stderr);
      return 1;
    }
  }
  if (config_path.empty()) {
    std::fputs(usage, stderr);
    return 1;
  }

  node_config config;
  std::string error;
  if (!node_config_load(config_path.c_str(), config, error)) {
    node_log("configuration %s: %s", config_path.c_str(), error.c_str());
    return 2;
  }
  if (listen.empty()) listen = config.listen;
  if (listen.empty() && std::getenv("APPCNODE_ENDPOINT") != nullptr) {
    listen = std::getenv("APPCNODE_ENDPOINT");
  }
  if (listen.empty()) listen = default_endpoint;
  asio::ip::tcp::endpoint endpoint;
  if (!parse_endpoint(listen, endpoint)) {
    node_log("\"%s\" is not an address and port", listen.c_str());
    return 2;
  }

  // A client or command that vanishes must show as a failed write, not end the node.
  std::signal(SIGPIPE, SIG_IGN);
  asio::io_context io;
  node_engine engine(io, config);
  node_server server(io, engine);
  // Taken before anyone can learn the address: a stop request is never lost.
  asio::signal_set stop_signals(io, SIGINT, SIGTERM);
  stop_signals.async_wait([&](const asio::error_code& failure, int signal_number) {
    if (failure) return;
    node_log("signal %d: stopping", signal_number);
    server.stop();
    io.stop();
  });
  if (!server.listen(endpoint, error)) {
    node_log("cannot listen on %s: %s", listen.c_str(), error.c_str());
    return 3;
  }
  asio::ip::tcp::endpoint bound = server.local_endpoint();
  node_log("listening on %s:%u with %zu host TPs", bound.address().to_string().c_str(),
           static_cast<unsigned>(bound.port()), config.host_tps.size());
  if (!endpoint_file.empty() && !write_endpoint_file(endpoint_file, bound)) {
    node_log("cannot write %s", endpoint_file.c_str());
    return 3;
  }

  run_event_loop(io, std::chrono::microseconds(config.busy_poll_us));
  node_log("stopped");
  return 0;
}
