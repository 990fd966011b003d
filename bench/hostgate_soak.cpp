// hostgate under load: a long run of sequential conversations from the host side, then a
// burst of conversations queued at once.
//
// hostgate_soak NODE HOSTGATE HOSTLOAD [MESSAGES [CONVERSATIONS]]
//   Starts the APPC node, a framed TCP server of its own on DPRE_PORT and hostgate in a
//   temporary directory on free loopback ports, then
//   - runs one hostload over MESSAGES (default 100,000) conversations one after the other,
//     and samples the resident set of hostgate and of the node at the start and whenever the
//     server has received another tenth of them; the first tenth is the warm-up;
//   - starts CONVERSATIONS (default 200) hostload processes, each of which allocates its
//     conversation and sends its message; once all have done so they receive together, and
//     hostgate, serving one at a time, must answer every one correctly in the order the node
//     allocated them (by conversation identifier), as the server sees it and as
//     hostgate.log shows.
//   Every request the server receives is checked byte for byte, and every reply by hostload.
//   Exit code 0 when all of that held and both resident sets stayed within 1 MiB after the
//   warm-up; 1 otherwise, 2 usage.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/soak_support.h"
#include "platform/net.h"

namespace {

using clock_type = std::chrono::steady_clock;
constexpr long growth_limit_kib = 1024;
constexpr int stop_seconds = 30;

// The TCP server behind hostgate: one framed request per connection, answered with
// soak_server_reply. Records the numbers of the messages in the order they came and samples
// the resident sets after every interval soak messages.
struct server_record {
  std::mutex lock;
  std::vector<long> soak, burst;
  long strays = 0;
};

void serve(net_socket listener, const std::atomic<bool>& stop, server_record& record,
           rss_table& memory, long interval) {
  while (!stop) {
    const net_socket client = net_accept(listener);
    if (client == net_invalid_socket) continue;
    std::string request;
    if (soak_receive_frame(client, request)) {
      {
        const std::lock_guard<std::mutex> guard(record.lock);
        const long soaked = soak_message_index("DPRESOAK", request);
        const long burst = soak_message_index("DPREBURST", request);
        if (soaked >= 0) {
          record.soak.push_back(soaked);
          if (static_cast<long>(record.soak.size()) % interval == 0)
            memory.sample(static_cast<long>(record.soak.size()));
        } else if (burst >= 0) {
          record.burst.push_back(burst);
        } else {
          ++record.strays;
        }
      }
      soak_send_frame(client, soak_server_reply(request));
    }
    soak_close(client);
  }
}

bool soak(const std::string& hostload, const soak_directory& directory, long messages,
          server_record& record) {
  std::fflush(stdout);
  const auto begin = clock_type::now();
  const pid_t load = soak_spawn({hostload, std::to_string(messages), "0"}, directory.path(), -1, 1);
  // Generous: a hundred times the usual pace.
  const int exit_code = soak_wait(load, 60 + static_cast<int>(messages / 10));
  const double seconds = std::chrono::duration<double>(clock_type::now() - begin).count();
  const std::lock_guard<std::mutex> guard(record.lock);
  const bool in_order = record.soak == soak_numbers(messages);
  std::printf("%ld sequential conversations in %.1f s (%.0f messages/s); hostload exit code %d; "
              "the server received %zu, %s, %ld unknown\n",
              messages, seconds, static_cast<double>(messages) / seconds, exit_code,
              record.soak.size(), in_order ? "in order" : "NOT in order", record.strays);
  return exit_code == 0 && in_order && record.strays == 0;
}

// The burst; fills allocation_order with the message numbers in the order the node allocated
// their conversations.
bool burst(const std::string& hostload, const soak_directory& directory, int conversations,
           server_record& record, std::vector<long>& allocation_order) {
  int ready[2], go[2];
  if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(go, O_CLOEXEC) != 0) return false;
  std::vector<pid_t> members;
  for (int i = 0; i < conversations; ++i)
    members.push_back(soak_spawn({hostload, "--burst", std::to_string(i)}, directory.path(),
                                 go[0], ready[1]));
  close(ready[1]);
  close(go[0]);

  // Each member writes one short line, at once, once its conversation waits for hostgate.
  std::map<unsigned long, long> by_conversation;
  std::string lines;
  char chunk[4096];
  long failed_allocations = 0;
  int reported = 0;
  while (reported < conversations) {
    const ssize_t got = read(ready[0], chunk, sizeof chunk);
    if (got <= 0) break;
    lines.append(chunk, static_cast<std::size_t>(got));
    std::size_t end;
    while ((end = lines.find('\n')) != std::string::npos) {
      long index = -1;
      unsigned long conv_id = 0;
      if (std::sscanf(lines.c_str(), "%ld %lu", &index, &conv_id) == 2 && conv_id != 0) {
        by_conversation[conv_id] = index;
      } else {
        ++failed_allocations;
      }
      lines.erase(0, end + 1);
      ++reported;
    }
  }
  close(ready[0]);
  std::size_t answered_before_release;
  {
    const std::lock_guard<std::mutex> guard(record.lock);
    answered_before_release = record.burst.size();
  }
  const auto begin = clock_type::now();
  close(go[1]);
  int right = 0;
  for (pid_t member : members)
    if (soak_wait(member, 120) == 0) ++right;
  const double seconds = std::chrono::duration<double>(clock_type::now() - begin).count();

  long moved = 0;
  for (const auto& [conv_id, index] : by_conversation) {
    if (index != static_cast<long>(allocation_order.size())) ++moved;
    allocation_order.push_back(index);
  }
  const std::lock_guard<std::mutex> guard(record.lock);
  const bool in_order = record.burst == allocation_order;
  std::printf("burst: %d of %d conversations allocated and sent before any was received "
              "(%ld failed), %zu answered before the release; %ld allocated out of start order\n",
              reported - static_cast<int>(failed_allocations), conversations, failed_allocations,
              answered_before_release, moved);
  std::printf("burst: %d replies right, %d wrong or missing, in %.2f s after the release; the "
              "server received %zu, %s\n",
              right, conversations - right, seconds, record.burst.size(),
              in_order ? "in allocation order" : "NOT in allocation order");
  return failed_allocations == 0 && reported == conversations && answered_before_release == 0 &&
         right == conversations && in_order && record.strays == 0;
}

// hostgate.log read as an operator would: one "rsp: [...]" line per message, the soak in order
// and then the burst in allocation order, and one "READY." per conversation served.
bool check_log(const std::string& path, long messages, const std::vector<long>& burst_order) {
  const std::vector<std::string> fields = soak_log_fields(path, "rsp");
  std::size_t position = 0;
  const std::string lead = soak_server_reply("");
  const long soaked =
      soak_count_in_order(fields, position, lead, "DPRESOAK", soak_numbers(messages));
  const long burst = soak_count_in_order(fields, position, lead, "DPREBURST", burst_order);
  long ready = 0;
  {
    std::FILE* log = std::fopen(path.c_str(), "r");
    char line[256];
    while (log != nullptr && std::fgets(line, sizeof line, log) != nullptr)
      if (std::string(line) == "READY.\n") ++ready;
    if (log != nullptr) std::fclose(log);
  }
  std::printf("hostgate.log: %ld of %ld soak replies and %ld of %zu burst replies in order, "
              "%zu other rsp lines, %ld READY lines\n",
              soaked, messages, burst, burst_order.size(), fields.size() - position, ready);
  return soaked == messages && burst == static_cast<long>(burst_order.size()) &&
         position == fields.size() && ready == messages + static_cast<long>(burst_order.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: hostgate_soak NODE HOSTGATE HOSTLOAD [MESSAGES [CONVERSATIONS]]\n");
    return 2;
  }
  const long messages = argc > 4 ? std::max(10L, std::atol(argv[4])) : 100000;
  const int conversations = argc > 5 ? std::max(1, std::atoi(argv[5])) : 200;
  // The programs start in the temporary directory: their paths must not be relative.
  const std::string node_path = std::filesystem::absolute(argv[1]).string();
  const std::string hostgate_path = std::filesystem::absolute(argv[2]).string();
  const std::string hostload_path = std::filesystem::absolute(argv[3]).string();
  net_startup();

  const soak_directory directory;
  const std::string server_port = soak_free_port();
  directory.write("hostgate.ini",
                  "[APPC]\nLOCAL_LU=LOCALLU\nLOCAL_TP=HOSTGATE\nREMOTE_LU=HOSTLU\n"
                  "REMOTE_TP=HOSTLOAD\nMODE_NAME=#INTER\nEBCDIC=1\nDPRE_SERVER=127.0.0.1\n"
                  "DPRE_PORT=" + server_port +
                      "\nPACK1=0\nPACK1_SIZE=0\nPACK2=0\nPACK2_SIZE=0\nPACK3=0\nPACK3_SIZE=0\n");

  net_address* address = nullptr;
  if (net_lookup("127.0.0.1", server_port.c_str(), false, &address) != 0) return 1;
  const net_socket listener = net_open(address);
  net_bind(listener, address);
  net_free_address(address);
  if (net_listen(listener, 64) != 0) return 1;

  const pid_t node = soak_start_node(node_path, directory, "HOSTGATE,HOSTLOAD", "", "");
  const pid_t hostgate =
      soak_spawn({hostgate_path, directory.file("hostgate.ini")}, directory.path());
  rss_table memory("messages", "hostgate", hostgate, "appcnode", node);
  server_record record;
  std::atomic<bool> stop_server = false;
  std::thread server(serve, listener, std::cref(stop_server), std::ref(record), std::ref(memory),
                     std::max(1L, messages / 10));

  bool ok = false;
  std::vector<long> burst_order;
  if (node > 0 && hostgate > 0 &&
      soak_wait_for_text(directory.file("hostgate.log"), "appc_receive_allocate()\n")) {
    memory.sample(0);
    const bool soak_ok = soak(hostload_path, directory, messages, record);
    bool flat;
    {
      const std::lock_guard<std::mutex> guard(record.lock);
      flat = memory.report(growth_limit_kib);
    }
    const bool burst_ok = burst(hostload_path, directory, conversations, record, burst_order);
    ok = soak_ok && flat && burst_ok;
  }

  stop_server = true;
  const net_socket last = net_connect_to("127.0.0.1", server_port.c_str());
  if (last != net_invalid_socket) soak_close(last);
  server.join();
  net_close(listener);
  const int hostgate_exit = soak_stop(hostgate, stop_seconds);
  const int node_exit = soak_stop(node, stop_seconds);
  const std::string log_path = directory.file("hostgate.log");
  std::error_code error;
  const auto log_size = std::filesystem::file_size(log_path, error);
  if (!error)
    std::printf("hostgate.log: %.1f MiB, %.0f bytes per message\n",
                static_cast<double>(log_size) / (1 << 20),
                static_cast<double>(log_size) / static_cast<double>(messages + conversations));
  const bool log_ok = check_log(log_path, messages, burst_order);
  std::printf("hostgate stopped with exit code %d, appcnode with %d\n", hostgate_exit, node_exit);
  return ok && log_ok && hostgate_exit == 0 ? 0 : 1;
}
