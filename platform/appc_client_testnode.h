// For tests that converse through the APPC client library: an appcnode process of the test's
// own, started on a free loopback port with a configuration the test writes, and the verb
// blocks as a program fills them (LU aliases blank-padded ASCII, mode and TP names
// blank-padded EBCDIC through CONVERT). Each run_* function executes its block with APPC and
// returns it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winappc.h"

using test_tp_id = std::array<unsigned char, 8>;

class test_node {
 public:
  test_node() = default;
  test_node(const test_node&) = delete;
  test_node& operator=(const test_node&) = delete;
  ~test_node();

  // Writes the configuration, starts the node at program_path and waits until it listens;
  // then points APPCNODE_ENDPOINT of this process at it. False when it did not come up.
  bool start(const std::string& program_path, const std::string& configuration);
  // SIGTERM, then the node's exit code (-1 when it had to be killed or was not running).
  int stop();
  // SIGKILL: the node vanishes as in a crash.
  void crash();
  const std::string& endpoint() const { return endpoint_; }
  // Starts another program (under wine, a Linux one) with the arguments, blank-separated,
  // without waiting for it; it ends by itself or, at the latest, with this object.
  bool start_program(const std::string& path, const std::string& arguments);
  // What the node has logged so far (empty where its standard error is not captured).
  std::string log_text() const;

 private:
  std::string directory_;  // the node's files, as the node names them
  std::string endpoint_;
  long pid_ = -1;
  std::vector<long> programs_;
};

vcb_block run_verb(vcb_block block);
vcb_block run_tp_started(const char* lu_alias, const char* tp_name);
vcb_block run_allocate(const test_tp_id& tp, const char* partner_lu, const char* tp_name,
                       const char* mode_name, std::uint8_t sync_level);
vcb_block run_send_data(const test_tp_id& tp, std::uint32_t conv_id, std::string_view data,
                        std::uint8_t send_type = 0);
vcb_block run_send_conversation(const test_tp_id& tp, const char* partner_lu,
                                const char* tp_name, const char* mode_name,
                                std::string_view data);
// Receives into buffer (at least max_len bytes).
vcb_block run_receive(const test_tp_id& tp, std::uint32_t conv_id, std::uint16_t max_len,
                      unsigned char* buffer, std::uint8_t rtn_status = 1);
vcb_block run_deallocate(const test_tp_id& tp, std::uint32_t conv_id, std::uint8_t type);
vcb_block run_confirm(const test_tp_id& tp, std::uint32_t conv_id);
vcb_block run_confirmed(const test_tp_id& tp, std::uint32_t conv_id);
vcb_block run_get_state(const test_tp_id& tp, std::uint32_t conv_id);
vcb_block run_receive_allocate(const char* tp_name);
vcb_block run_tp_ended(const test_tp_id& tp);

test_tp_id tp_of(const vcb_block& tp_started_or_receive_allocate);
std::string ebcdic(std::string_view ascii);
std::string ascii(std::string_view ebcdic);
