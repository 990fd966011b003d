#include "netgate/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "appc/log.h"

namespace {

std::string read_text(const std::string& path) {
  std::string text;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    std::fclose(file);
  }
  return text;
}

std::string test_name() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// The log stream in a file of the test's own; logged() is what has been flushed so far.
class LogFile {
 public:
  LogFile() : path_(test_name() + ".log.out"), stream_(std::fopen(path_.c_str(), "w+b")) {
    log_attach(stream_);
  }
  ~LogFile() {
    log_attach(nullptr);
    if (stream_ != nullptr) std::fclose(stream_);
    std::remove(path_.c_str());
  }
  std::string logged() const { return read_text(path_); }

 private:
  std::string path_;
  std::FILE* stream_;
};

TEST(FrameLength, NetworkByteOrderBothWays) {
  struct Case {
    std::int32_t length;
    unsigned char bytes[4];
  };
  const Case cases[] = {
      {0, {0x00, 0x00, 0x00, 0x00}},          {1, {0x00, 0x00, 0x00, 0x01}},
      {5000, {0x00, 0x00, 0x13, 0x88}},       {0x01020304, {0x01, 0x02, 0x03, 0x04}},
      {INT32_MAX, {0x7F, 0xFF, 0xFF, 0xFF}},  {-1, {0xFF, 0xFF, 0xFF, 0xFF}},
      {INT32_MIN, {0x80, 0x00, 0x00, 0x00}},  {-5000, {0xFF, 0xFF, 0xEC, 0x78}},
  };
  for (const Case& c : cases) {
    unsigned char bytes[4] = {};
    length_to_net(c.length, bytes);
    EXPECT_EQ(std::string(bytes, bytes + 4), std::string(c.bytes, c.bytes + 4)) << c.length;
    EXPECT_EQ(length_from_net(c.bytes), c.length);
  }
}

TEST(FrameLength, LongerThanTheBuffersIsRefusedWithALogLine) {
  LogFile log;
  struct Case {
    std::int32_t length;
    bool accepted;
  };
  const Case cases[] = {{INT32_MIN, true}, {-1, true}, {0, true}, {1, true}, {5000, true},
                        {5001, false}, {70000, false}, {INT32_MAX, false}};
  std::string expected;
  for (const Case& c : cases) {
    EXPECT_EQ(frame_length_accepted(c.length), c.accepted) << c.length;
    if (!c.accepted)
      expected += "TCP frame of " + std::to_string(c.length) + " bytes refused: the limit is 5000\n";
    EXPECT_EQ(log.logged(), expected);
  }
}

// A connected pair of loopback sockets.
class SocketPair : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(net_startup(), 0);
    net_address* list = nullptr;
    ASSERT_EQ(net_lookup("127.0.0.1", "0", true, &list), 0);
    const net_socket listener = net_open(list);
    ASSERT_EQ(net_bind(listener, list), 0);
    net_free_address(list);
    ASSERT_EQ(net_listen(listener, 1), 0);
    peer_ = net_connect_to("127.0.0.1", std::to_string(net_local_port(listener)).c_str());
    ASSERT_NE(peer_, net_invalid_socket);
    socket_ = net_accept(listener);
    net_close(listener);
    ASSERT_NE(socket_, net_invalid_socket);
    // No test may hang: a receive that waits this long has failed.
    net_set_recv_timeout(socket_, 10);
  }
  void TearDown() override {
    if (peer_ != net_invalid_socket) net_close(peer_);
    if (socket_ != net_invalid_socket) net_close(socket_);
    net_cleanup();
  }
  void close_peer() {
    net_close(peer_);
    peer_ = net_invalid_socket;
  }
  net_socket socket_ = net_invalid_socket;  // the side under test
  net_socket peer_ = net_invalid_socket;
};

// The peer sends each piece after a pause, so that each arrives in a segment of its own, and
// closes when close_after is set.
void send_in_pieces(net_socket peer, const std::vector<std::string>& pieces, bool close_after) {
  for (const std::string& piece : pieces) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    net_send(peer, piece.data(), static_cast<int>(piece.size()));
  }
  if (close_after) net_shutdown_send(peer);
}

TEST_F(SocketPair, ZeroOrNegativeCountMakesNoCall) {
  ASSERT_EQ(net_send(peer_, "AB", 2), 2);
  message_buffer buffer{};
  for (std::int32_t count : {0, -1, INT32_MIN}) {
    EXPECT_EQ(tcp_recv_all(socket_, buffer.data(), count), 0) << count;
    EXPECT_EQ(tcp_send_all(socket_, "XY", count), 0) << count;
  }
  EXPECT_EQ(tcp_recv_all(socket_, buffer.data(), 2), 2);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 2), "AB") << "no byte was consumed";
  EXPECT_EQ(net_wait_readable(peer_, 100), 0) << "no byte was sent";
}

TEST_F(SocketPair, FrameWithPrefixSplitOverSegments) {
  std::thread sender(send_in_pieces, peer_,
                     std::vector<std::string>{std::string("\0", 1), std::string("\0\0\x06", 3),
                                              "HOL", "A!!"},
                     false);
  message_buffer length{}, body{};
  EXPECT_EQ(tcp_recv_all(socket_, length.data(), 4), 4);
  const std::int32_t body_length = length_from_net(length.data());
  EXPECT_EQ(body_length, 6);
  ASSERT_TRUE(frame_length_accepted(body_length));
  EXPECT_EQ(tcp_recv_all(socket_, body.data(), body_length), 6);
  sender.join();
  EXPECT_EQ(std::string(body.begin(), body.begin() + 6), "HOLA!!");
}

TEST_F(SocketPair, PeerClosingMidwayYieldsZero) {
  struct Case {
    const char* name;
    std::vector<std::string> sent;
    std::int32_t prefix_result;  // then, when 4, the body read gives 0
  };
  const Case cases[] = {
      {"before the prefix", {}, 0},
      {"mid-prefix", {std::string("\0\0", 2)}, 0},
      {"mid-body", {std::string("\0\0\0\x0A", 4), "12345"}, 4},
      {"zero length", {std::string("\0\0\0\0", 4)}, 4},
      {"negative length", {std::string("\x80\0\0\x01", 4)}, 4},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    std::thread sender(send_in_pieces, peer_, c.sent, true);
    message_buffer length{}, body{};
    EXPECT_EQ(tcp_recv_all(socket_, length.data(), 4), c.prefix_result) << c.name;
    if (c.prefix_result == 4) {
      EXPECT_EQ(tcp_recv_all(socket_, body.data(), length_from_net(length.data())), 0) << c.name;
    }
    sender.join();
  }
}

TEST_F(SocketPair, SocketErrorYieldsMinusOne) {
  net_set_recv_timeout(socket_, 1);
  ASSERT_EQ(net_send(peer_, "AB", 2), 2);
  message_buffer buffer{};
  EXPECT_EQ(tcp_recv_all(socket_, buffer.data(), 4), -1) << "not the 2 bytes received";
}

TEST_F(SocketPair, RefusedFrameLeavesTheBufferUntouched) {
  LogFile log;
  // Small enough for the socket buffers: the peer's sends complete without a reader.
  unsigned char prefix[4];
  length_to_net(6000, prefix);
  ASSERT_EQ(tcp_send_all(peer_, prefix, 4), 4);
  const std::string announced(6000, 'Z');
  ASSERT_EQ(tcp_send_all(peer_, announced.data(), 6000), 6000);
  message_buffer length{}, body{};
  ASSERT_EQ(tcp_recv_all(socket_, length.data(), 4), 4);
  EXPECT_FALSE(frame_length_accepted(length_from_net(length.data())));
  EXPECT_EQ(body, message_buffer{});
  EXPECT_EQ(log.logged(), "TCP frame of 6000 bytes refused: the limit is 5000\n");
}

TEST_F(SocketPair, SendFrameDeliversPrefixAndBody) {
  message_buffer length{}, body{};
  for (int i = 0; i < message_buffer_size; ++i) body[i] = static_cast<unsigned char>(i * 7);
  length_to_net(message_buffer_size, length.data());
  ASSERT_EQ(tcp_send_all(socket_, length.data(), 4), 4);
  ASSERT_EQ(tcp_send_all(socket_, body.data(), message_buffer_size), message_buffer_size);
  net_shutdown_send(socket_);
  message_buffer received_length{}, received{};
  net_set_recv_timeout(peer_, 10);
  EXPECT_EQ(tcp_recv_all(peer_, received_length.data(), 4), 4);
  EXPECT_EQ(length_from_net(received_length.data()), message_buffer_size);
  EXPECT_EQ(tcp_recv_all(peer_, received.data(), message_buffer_size), message_buffer_size);
  EXPECT_EQ(received, body);
  char extra;
  EXPECT_EQ(net_recv(peer_, &extra, 1), 0);
}

TEST_F(SocketPair, FailedSendYieldsMinusOne) {
  ASSERT_EQ(net_shutdown_send(socket_), 0);
  const message_buffer data{};
  EXPECT_EQ(tcp_send_all(socket_, data.data(), message_buffer_size), -1);
}

struct RestoreCase {
  const char* name;
  packed_field_table fields;
  std::vector<std::pair<int, int>> restored;  // [first, end) ranges holding the original
  const char* log;
};

TEST(PackedFields, RestoredInOrderClippedOrSkipped) {
  const RestoreCase cases[] = {
      {"none", {{{10, 0}, {20, 0}, {30, 0}}}, {}, ""},
      {"negative sizes", {{{10, -1}, {20, INT_MIN}, {-5, -5}}}, {}, ""},
      {"one field", {{{10, 5}, {0, 0}, {0, 0}}}, {{10, 15}}, "PACKED FIELD AT OFFSET 10 (5 bytes)\n"},
      {"three fields",
       {{{0, 2}, {100, 3}, {4990, 10}}},
       {{0, 2}, {100, 103}, {4990, 5000}},
       "PACKED FIELD AT OFFSET 0 (2 bytes)\nPACKED FIELD AT OFFSET 100 (3 bytes)\n"
       "PACKED FIELD AT OFFSET 4990 (10 bytes)\n"},
      {"overlapping", {{{10, 10}, {15, 10}, {0, 0}}}, {{10, 25}},
       "PACKED FIELD AT OFFSET 10 (10 bytes)\nPACKED FIELD AT OFFSET 15 (10 bytes)\n"},
      {"past the end", {{{4998, 5}, {0, 0}, {0, 0}}}, {{4998, 5000}},
       "PACKED FIELD AT OFFSET 4998 (5 bytes)\n"
       "PACKED FIELD AT OFFSET 4998 (5 bytes) CLIPPED TO OFFSET 4998 (2 bytes)\n"},
      {"before the start", {{{-3, 5}, {0, 0}, {0, 0}}}, {{0, 2}},
       "PACKED FIELD AT OFFSET -3 (5 bytes)\n"
       "PACKED FIELD AT OFFSET -3 (5 bytes) CLIPPED TO OFFSET 0 (2 bytes)\n"},
      {"larger than the buffer", {{{-10, 6000}, {0, 0}, {0, 0}}}, {{0, 5000}},
       "PACKED FIELD AT OFFSET -10 (6000 bytes)\n"
       "PACKED FIELD AT OFFSET -10 (6000 bytes) CLIPPED TO OFFSET 0 (5000 bytes)\n"},
      {"wholly outside",
       {{{5000, 1}, {-10, 5}, {INT_MAX, INT_MAX}}},
       {},
       "PACKED FIELD AT OFFSET 5000 (1 bytes)\n"
       "PACKED FIELD AT OFFSET 5000 (1 bytes) SKIPPED: outside the 5000-byte buffer\n"
       "PACKED FIELD AT OFFSET -10 (5 bytes)\n"
       "PACKED FIELD AT OFFSET -10 (5 bytes) SKIPPED: outside the 5000-byte buffer\n"
       "PACKED FIELD AT OFFSET 2147483647 (2147483647 bytes)\n"
       "PACKED FIELD AT OFFSET 2147483647 (2147483647 bytes) SKIPPED: outside the 5000-byte "
       "buffer\n"},
  };
  message_buffer unconverted{};
  for (int i = 0; i < message_buffer_size; ++i) unconverted[i] = static_cast<unsigned char>(i);
  message_buffer translated = unconverted;
  for (unsigned char& byte : translated) byte = static_cast<unsigned char>(~byte);
  for (const RestoreCase& c : cases) {
    LogFile log;
    message_buffer working = translated;
    restore_packed_fields(working, unconverted, c.fields);
    message_buffer expected = translated;
    for (const auto& [first, end] : c.restored)
      for (int i = first; i < end; ++i) expected[i] = unconverted[i];
    EXPECT_EQ(working, expected) << c.name;
    EXPECT_EQ(log.logged(), c.log) << c.name;
  }
}

TEST(PackedFields, FieldBeyondTheMessageChangesNothingSent) {
  LogFile log;
  // As the services hold them: cleared buffers, a 20-byte message translated in place.
  message_buffer unconverted{}, working{};
  const std::string message = "DPRE0000000000000042";
  std::copy(message.begin(), message.end(), unconverted.begin());
  working = unconverted;
  for (int i = 0; i < 20; ++i) working[i] = static_cast<unsigned char>(working[i] + 1);
  const message_buffer translated = working;
  restore_packed_fields(working, unconverted, {{{18, 10}, {25, 5}, {0, 0}}});
  for (int i = 0; i < 18; ++i) EXPECT_EQ(working[i], translated[i]) << i;
  EXPECT_EQ(working[18], '4');
  EXPECT_EQ(working[19], '2');
  for (int i = 20; i < message_buffer_size; ++i) ASSERT_EQ(working[i], 0) << i;
}

TEST(BufferGroups, ResetClearsEveryBufferOfTheGroup) {
  netgate_connection_buffers connection;
  hostgate_server_buffers server;
  std::memset(&connection, 0xA5, sizeof connection);
  std::memset(&server, 0x5A, sizeof server);
  reset_buffers(connection);
  reset_buffers(server);
  for (const message_buffer* buffer : {&connection.length, &connection.request,
                                       &connection.unconverted, &connection.client_reply,
                                       &server.length, &server.message, &server.unconverted,
                                       &server.reply})
    EXPECT_EQ(*buffer, message_buffer{});
  static_assert(sizeof(netgate_host_buffers) == 2 * message_buffer_size);
  static_assert(sizeof(hostgate_host_buffers) == 2 * message_buffer_size);
}

// Inside the death test, standard output goes to a file that the test reads afterwards.
TEST(PackedFieldsDeathTest, ReadInOrderEveryKeyMandatory) {
  const std::string ini = std::filesystem::absolute(test_name() + ".ini").string();
  const std::string out = test_name() + ".stdout";
  struct Case {
    std::string contents;
    const char* missing;  // null: all six present
  };
  const Case cases[] = {
      {"[GW]\nPACK1=10\nPACK1_SIZE=5\nPACK2=-3\nPACK2_SIZE=0\nPACK3=7\nPACK3_SIZE=2\n", nullptr},
      {"[GW]\nPACK1=10\nPACK1_SIZE=5\nPACK3=7\n", "PACK2"},
      {"[GW]\nPACK1=10\nPACK1_SIZE=5\nPACK2=1\nPACK2_SIZE=1\nPACK3=7\n", "PACK3_SIZE"},
      {"[GW]\nPACK1_SIZE=5\n", "PACK1"},
  };
  int version = 0;
  for (const Case& c : cases) {
    const std::string path = ini + std::to_string(++version);
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
      std::fwrite(c.contents.data(), 1, c.contents.size(), file);
      std::fclose(file);
    }
    if (c.missing == nullptr) {
      const packed_field_table fields = read_packed_fields(path.c_str(), "GW");
      EXPECT_EQ(fields[0].offset, 10);
      EXPECT_EQ(fields[0].size, 5);
      EXPECT_EQ(fields[1].offset, -3);
      EXPECT_EQ(fields[1].size, 0);
      EXPECT_EQ(fields[2].offset, 7);
      EXPECT_EQ(fields[2].size, 2);
    } else {
      EXPECT_EXIT(
          {
            std::freopen(out.c_str(), "w", stdout);
            read_packed_fields(path.c_str(), "GW");
            std::exit(0);
          },
          ::testing::ExitedWithCode(2), "");
      std::string expected = std::string("Key ") + c.missing + " not found in section [GW] in file " +
                             path + "\n";
      std::string shown = read_text(out);
      shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
      EXPECT_EQ(shown, expected);
    }
    std::remove(path.c_str());
  }
  std::remove(out.c_str());
}

}  // namespace
