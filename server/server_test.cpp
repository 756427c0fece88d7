// Tests of korvald's request reader (server.cpp) on a socket pair: framed
// messages of every size, the malformed or cut ones that end a connection,
// and a client that stops sending.
#include "server/server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "proto/wire.h"

namespace {

// The reader's result for the bytes a client sent before closing, and the
// memory the reader held for the request.
struct Received {
  KvRecv code;
  std::vector<char> msg;
  int32_t capacity;
  KvRecv then;  // a second read after a request (twice)
};

Received receive(const std::vector<char> &bytes, bool twice = false, int stall_seconds = 0) {
  int sv[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
  // every test message fits the socket buffer, so writing before reading
  // cannot block
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t w = write(sv[1], bytes.data() + off, bytes.size() - off);
    if (w <= 0) break;
    off += static_cast<size_t>(w);
  }
  // a stalling client stays connected
  if (stall_seconds == 0) close(sv[1]);
  Received r;
  FrameReader reader(KV_MAX_REQUEST);
  r.code = kv_recv_request(sv[0], reader, stall_seconds);
  r.msg.assign(reader.data(), reader.data() + reader.size());
  r.capacity = reader.capacity();
  reader.reset();
  r.then = twice ? kv_recv_request(sv[0], reader, stall_seconds) : r.code;
  if (stall_seconds != 0) close(sv[1]);
  close(sv[0]);
  return r;
}

std::vector<char> header(int32_t frame, int32_t length) {
  std::vector<char> h(8);
  wire_put32(h.data(), frame);
  wire_put32(h.data() + 4, length);
  return h;
}

}  // namespace

TEST(RecvRequest, FramedMessagesOfEverySize) {
  for (int len : {0, 1, 100, 3801, 9992, 10000, 10001, 9992 + 9996, 30000}) {
    std::string text(static_cast<size_t>(len), 'x');
    for (int i = 0; i < len; i++) text[static_cast<size_t>(i)] = static_cast<char>(i * 7);
    // the message, and then the client closes: 0 after the message
    Received r = receive(wire_encode(text.data(), len), true);
    ASSERT_EQ(r.code, KV_RECV_OK) << len;
    EXPECT_EQ(r.then, KV_RECV_CLOSED) << len;
    EXPECT_TRUE(std::string(r.msg.begin(), r.msg.end()) == text) << len;
  }
  EXPECT_EQ(receive({}).code, KV_RECV_CLOSED);
}

TEST(RecvRequest, MalformedOrCutMessagesEndTheConnection) {
  std::vector<char> full = wire_encode(std::string(30000, 'y').data(), 30000);
  // shorter than the header; frame too short or too long; length negative
  // or over the limit; cut inside the first frame, a header or a later frame
  std::vector<std::vector<char>> bad = {
      {'\x05', '\0', '\0'},
      header(7, 0),
      header(WIRE_FRAME_BUF + 1, 10),
      header(108, -1),
      header(108, KV_MAX_REQUEST + 1),
      std::vector<char>(full.begin(), full.begin() + 5000),
      std::vector<char>(full.begin(), full.begin() + 10002),
      std::vector<char>(full.begin(), full.end() - 1),
  };
  for (size_t i = 0; i < bad.size(); i++) EXPECT_EQ(receive(bad[i]).code, KV_RECV_MALFORMED) << i;
  // a continuation frame with an impossible length
  std::vector<char> c(full.begin(), full.begin() + 10000);
  std::vector<char> h = header(WIRE_FRAME_BUF + 1, 0);
  c.insert(c.end(), h.begin(), h.begin() + 4);
  EXPECT_EQ(receive(c).code, KV_RECV_MALFORMED);
}

TEST(RecvRequest, AnAnnouncedLengthAloneCostsNoMemory) {
  // a client announces the largest message allowed, sends one frame and
  // goes away: the reader holds only what arrived
  std::vector<char> bytes = header(WIRE_FRAME_BUF - 8, KV_MAX_REQUEST);
  bytes.resize(WIRE_FRAME_BUF - 8, 'z');
  Received r = receive(bytes);
  EXPECT_EQ(r.code, KV_RECV_MALFORMED);
  EXPECT_LT(r.capacity, 1 << 20);
}

TEST(RecvRequest, AClientThatStopsSendingStalls) {
  // a whole request is read without waiting for more; a second one that
  // stops inside its header, and one that never starts, stall
  std::vector<char> bytes = wire_encode("xyz", 3);
  std::vector<char> half = header(108, 100);
  bytes.insert(bytes.end(), half.begin(), half.begin() + 6);
  Received r = receive(bytes, true, 1);
  EXPECT_EQ(r.code, KV_RECV_OK);
  EXPECT_EQ(std::string(r.msg.begin(), r.msg.end()), "xyz");
  EXPECT_EQ(r.then, KV_RECV_STALLED);
  EXPECT_EQ(receive({}, false, 1).code, KV_RECV_STALLED);
}
