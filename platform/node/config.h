// The node's configuration: its LUs, modes and transaction programs, read from an ini file
// with the private-profile reader.
//
//   [NODE]
//   LISTEN=127.0.0.1:7261          address and port to listen on (optional)
//   LOCAL_LUS=LOCALLU              local LU aliases, comma-separated (at least one)
//   PARTNER_LUS=HOSTLU             partner LU aliases, comma-separated (at least one)
//   MODES=#INTER                   mode names, comma-separated (at least one)
//   LOCAL_TPS=HOSTGATE,PROBEIN     TP names served by local programs (optional)
//   HOST_TPS=ECHOTP,UPPERTP        TP names played by the node (optional)
//   ATTACH_TIMEOUT=30              seconds an allocation to a local TP waits for its
//                                  RECEIVE_ALLOCATE (optional, 1..3600, default 30)
//   BUSY_POLL_US=200               microseconds the node keeps polling for the next message
//                                  after handling one, before it sleeps (optional, 0..10000,
//                                  default 200; 0 sleeps at once)
//
//   [TP ECHOTP]                    one section per host TP
//   KIND=echo | reply | exec
//   TEXT=...                       reply: the text returned (ASCII here, sent in EBCDIC)
//   COMMAND=...                    exec: run by /bin/sh -c, message on standard input
//   TRANSLATE=1                    exec: EBCDIC to ASCII on the way in and back on the way out
//   TIME_LIMIT=10                  exec: seconds before the command is killed (default 10)
//   DELAY_MS=0                     milliseconds before replying (default 0)
//   END=deallocate | keep          after the reply: deallocate normally (default) or turn the
//                                  conversation around and wait for the next message
//
// Names are compared exactly (letter case counts); LU aliases and mode names hold at most 8
// characters, TP names at most 64.
#pragma once

#include <string>
#include <vector>

enum class host_tp_kind { echo, reply, exec };

struct host_tp_config {
  std::string name;
  host_tp_kind kind = host_tp_kind::echo;
  std::string text;
  std::string command;
  bool translate = false;
  int time_limit_ms = 10000;
  int delay_ms = 0;
  bool keep_open = false;
};

struct node_config {
  std::string listen;  // empty when the file names none
  std::vector<std::string> local_lus;
  std::vector<std::string> partner_lus;
  std::vector<std::string> modes;
  std::vector<std::string> local_tps;
  std::vector<host_tp_config> host_tps;
  int attach_timeout_ms = 30000;
  int busy_poll_us = 200;
};

// Reads the file; on failure returns false with an operator's message in error.
bool node_config_load(const char* path, node_config& config, std::string& error);

// The host TP of that name, or null.
const host_tp_config* node_config_host_tp(const node_config& config, const std::string& name);

bool node_config_has(const std::vector<std::string>& names, const std::string& name);
