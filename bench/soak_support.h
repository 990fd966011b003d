// What the soak benchmarks share: the programs under load started in a temporary directory on
// free loopback ports, their resident set sampled from /proc, and the numbered messages whose
// every byte follows from their number, so that a reply, a server's request and a log line can
// each be checked on its own.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/net.h"

// A directory under /tmp made for one run and removed with everything in it when the object
// goes (the services' logs grow by about a kilobyte per request).
class soak_directory {
 public:
  soak_directory();
  ~soak_directory();
  soak_directory(const soak_directory&) = delete;
  soak_directory& operator=(const soak_directory&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

// Starts arguments[0] in directory. Standard input and output are the given descriptors (-1:
// /dev/null); standard error is /dev/null. Returns the process id, or -1.
pid_t soak_spawn(const std::vector<std::string>& arguments, const std::string& directory,
                 int input = -1, int output = -1);
// Waits for the process at most seconds; one still running then is killed. Returns its exit
// code, or -1 when it was killed or ended by a signal.
int soak_wait(pid_t pid, int seconds);
// SIGTERM, then soak_wait.
int soak_stop(pid_t pid, int seconds);

// A loopback port the kernel has just handed out and that nobody holds now.
std::string soak_free_port();
// True once something accepts connections on 127.0.0.1:port (waits at most 10 seconds).
bool soak_wait_for_listener(const std::string& port);

// True once the file holds text (waits at most 10 seconds).
bool soak_wait_for_text(const std::string& path, const std::string& text);

// VmRSS of the process in KiB, -1 when it cannot be read.
long soak_rss_kib(pid_t pid);

// Resident sets of two processes after numbers of requests (or messages: the counted word);
// the first sample after the start ends the warm-up.
class rss_table {
 public:
  rss_table(std::string counted, std::string first_name, pid_t first, std::string second_name,
            pid_t second);
  void sample(long count);
  // Prints the table and the growth of each process after the warm-up; true when both stay
  // within limit_kib.
  bool report(long limit_kib) const;

 private:
  struct row {
    long count;
    long first_kib;
    long second_kib;
  };
  std::string counted_, first_name_, second_name_;
  pid_t first_, second_;
  std::vector<row> rows_;
};

// Starts the node in directory on a free port, with LOCALLU, HOSTLU, #INTER and the given
// TP lists (host TP sections follow as given), and points APPCNODE_ENDPOINT of this process,
// and so of the programs it starts, at it. Returns the node's process id once it listens, or
// -1.
pid_t soak_start_node(const std::string& node_path, const soak_directory& directory,
                      const std::string& local_tps, const std::string& host_tps,
                      const std::string& sections);

// netgate on gateway_port, in directory, in front of the echo TP ECHOTP of a node started
// there as soak_start_node does (EBCDIC 1, no packed fields). A process that could not be
// started has the id -1; the caller waits for netgate's listener.
struct soak_echo_gateway {
  pid_t node;
  pid_t netgate;
};
soak_echo_gateway soak_start_echo_gateway(const std::string& node_path,
                                          const std::string& netgate_path,
                                          const soak_directory& directory,
                                          const std::string& gateway_port);

// Message number index of a run named tag ("SOAK", "BURST", ...): the tag, the number in six
// digits, a blank, then 8 to 71 printable characters that depend on the number.
std::string soak_message(const std::string& tag, long index);
// The number of a message of the tag, or -1 when text is not exactly such a message.
long soak_message_index(const std::string& tag, const std::string& text);
// What the benchmarks' TCP server answers to a request: "ANSWER " and the request.
std::string soak_server_reply(const std::string& request);

// One frame of body on the socket; true when all of it went.
bool soak_send_frame(net_socket socket, const std::string& body);
// The body of one frame, or false when the frame did not come whole or announces more than
// the services' 5000-byte buffers.
bool soak_receive_frame(net_socket socket, std::string& body);
// Shuts down the sending direction, then closes.
void soak_close(net_socket socket);

// The text between "label: [" and the last "]" of every line of the log that starts so, in
// the order of the log.
std::vector<std::string> soak_log_fields(const std::string& path, const std::string& label);
// How many fields from position on are, in this order, lead followed by the messages of tag
// with the given numbers; position moves past them.
long soak_count_in_order(const std::vector<std::string>& fields, std::size_t& position,
                         const std::string& lead, const std::string& tag,
                         const std::vector<long>& numbers);
// 0, 1, ... count-1.
std::vector<long> soak_numbers(long count);
