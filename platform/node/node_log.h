// The node's log: one line per event on standard error, each starting with the local time.
#pragma once

void node_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
