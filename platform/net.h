// The few socket calls the gateways make, over POSIX sockets or Windows Sockets 2.2.
// Results follow the socket layer: a transfer returns the byte count, 0 when the peer closed,
// -1 on error (the reason from net_last_error).
#pragma once

#include <cstdint>

using net_socket = std::intptr_t;
inline constexpr net_socket net_invalid_socket = -1;

// An opaque address list from net_lookup.
struct net_address;

// Starts the socket layer (version 2.2 on Windows); returns 0 or the layer's error code.
int net_startup();
void net_cleanup();
// The last socket error (errno or WSAGetLastError).
int net_last_error();
// Text of a socket error code, for operators.
const char* net_error_text(int code);

// IPv4, stream, TCP. host null with passive true: the wildcard address for a server.
// Returns 0 or the resolver's error code; on success *list holds at least one address.
int net_lookup(const char* host, const char* service, bool passive, net_address** list);
void net_free_address(net_address* list);

// A socket of the family, type and protocol of the list's first address.
net_socket net_open(const net_address* list);
// Bind, connect: to the list's first address. 0 or -1. On Linux the listener may take over a
// port whose last connections are still in TIME_WAIT, as on Windows.
int net_bind(net_socket socket, const net_address* list);
int net_connect(net_socket socket, const net_address* list);
int net_listen(net_socket socket, int backlog);
// Waits for a connection; returns net_invalid_socket on failure or when the run flag, set
// when the wait began, was cleared while waiting (looked at every net_accept_poll_ms; the last
// error is then EINTR / WSAEINTR).
inline constexpr int net_accept_poll_ms = 200;
net_socket net_accept(net_socket listener);

int net_recv(net_socket socket, void* buffer, int length);
int net_send(net_socket socket, const void* data, int length);
// Shuts down the sending direction. 0 or -1.
int net_shutdown_send(net_socket socket);
int net_close(net_socket socket);
// Receive timeout in seconds on a connected socket (0: none). 0 or -1.
int net_set_recv_timeout(net_socket socket, int seconds);
// Waits until the socket is readable: 1 readable, 0 timed out (also when a signal interrupted
// the wait), -1 error.
int net_wait_readable(net_socket socket, int timeout_ms);
// The local port of a bound socket (a listener bound to port "0" gets one of the system's
// choosing), or -1.
int net_local_port(net_socket socket);

// Connects to host:port over IPv4 TCP; net_invalid_socket on failure. For tools and tests.
net_socket net_connect_to(const char* host, const char* port);
