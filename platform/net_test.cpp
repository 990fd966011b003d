#include "platform/net.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/run_flag.h"

namespace {

// A listener on a loopback port of the system's choosing.
class Loopback : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(net_startup(), 0);
    net_address* list = nullptr;
    ASSERT_EQ(net_lookup("127.0.0.1", "0", true, &list), 0);
    listener_ = net_open(list);
    ASSERT_NE(listener_, net_invalid_socket);
    ASSERT_EQ(net_bind(listener_, list), 0);
    net_free_address(list);
    ASSERT_EQ(net_listen(listener_, 8), 0);
    port_ = std::to_string(net_local_port(listener_));
    ASSERT_NE(port_, "-1");
    ASSERT_NE(port_, "0");
  }
  void TearDown() override {
    run_flag_clear();
    if (listener_ != net_invalid_socket) net_close(listener_);
    net_cleanup();
  }
  net_socket listener_ = net_invalid_socket;
  std::string port_;
};

TEST_F(Loopback, ConnectAcceptTransferAndHalfClose) {
  const net_socket client = net_connect_to("127.0.0.1", port_.c_str());
  ASSERT_NE(client, net_invalid_socket);
  const net_socket server = net_accept(listener_);
  ASSERT_NE(server, net_invalid_socket);

  EXPECT_EQ(net_wait_readable(server, 50), 0);
  EXPECT_EQ(net_send(client, "HOLA", 4), 4);
  EXPECT_EQ(net_wait_readable(server, 2000), 1);
  char received[8] = {};
  EXPECT_EQ(net_recv(server, received, sizeof received), 4);
  EXPECT_EQ(std::string(received, 4), "HOLA");

  EXPECT_EQ(net_shutdown_send(client), 0);
  EXPECT_EQ(net_wait_readable(server, 2000), 1);
  EXPECT_EQ(net_recv(server, received, sizeof received), 0) << "orderly close shows as 0";
  // The other direction still works after the half-close.
  EXPECT_EQ(net_send(server, "OK", 2), 2);
  EXPECT_EQ(net_recv(client, received, sizeof received), 2);
  EXPECT_EQ(net_close(server), 0);
  EXPECT_EQ(net_close(client), 0);
}

TEST_F(Loopback, ReceiveTimeoutEndsAWaitingReceive) {
  const net_socket client = net_connect_to("127.0.0.1", port_.c_str());
  ASSERT_NE(client, net_invalid_socket);
  const net_socket server = net_accept(listener_);
  ASSERT_NE(server, net_invalid_socket);
  ASSERT_EQ(net_set_recv_timeout(server, 1), 0);
  char byte;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(net_recv(server, &byte, 1), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  net_close(server);
  net_close(client);
}

TEST_F(Loopback, AcceptReturnsWhenTheRunFlagIsCleared) {
  run_flag_install();
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * net_accept_poll_ms));
    run_flag_clear();
  });
  const net_socket accepted = net_accept(listener_);
  stopper.join();
  EXPECT_EQ(accepted, net_invalid_socket);
  EXPECT_FALSE(run_flag_is_set());
}

TEST_F(Loopback, AcceptWithoutRunFlagWaitsForAClient) {
  run_flag_clear();
  std::thread client_thread([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * net_accept_poll_ms));
    const net_socket client = net_connect_to("127.0.0.1", port_.c_str());
    if (client != net_invalid_socket) {
      net_send(client, "X", 1);
      net_close(client);
    }
  });
  const net_socket accepted = net_accept(listener_);
  client_thread.join();
  ASSERT_NE(accepted, net_invalid_socket);
  char byte = 0;
  EXPECT_EQ(net_recv(accepted, &byte, 1), 1);
  EXPECT_EQ(byte, 'X');
  net_close(accepted);
}

TEST_F(Loopback, FailuresAreReported) {
  // A port nobody listens on: take one and give it back.
  net_address* list = nullptr;
  ASSERT_EQ(net_lookup("127.0.0.1", "0", true, &list), 0);
  const net_socket probe = net_open(list);
  ASSERT_EQ(net_bind(probe, list), 0);
  net_free_address(list);
  const std::string free_port = std::to_string(net_local_port(probe));
  net_close(probe);
  EXPECT_EQ(net_connect_to("127.0.0.1", free_port.c_str()), net_invalid_socket);
  EXPECT_NE(net_last_error(), 0);
  EXPECT_STRNE(net_error_text(net_last_error()), "");

  net_address* none = nullptr;
  EXPECT_NE(net_lookup("127.0.0.1", "no-such-service-name", false, &none), 0);
  EXPECT_EQ(none, nullptr);

  // The port the fixture's listener holds cannot be bound twice.
  ASSERT_EQ(net_lookup("127.0.0.1", port_.c_str(), true, &list), 0);
  const net_socket second = net_open(list);
  EXPECT_EQ(net_bind(second, list), -1);
  net_close(second);
  net_free_address(list);
}

}  // namespace
