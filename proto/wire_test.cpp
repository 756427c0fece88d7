// Tests of the message framing: frame layout and padding at the boundary
// sizes, round trips over a socket pair, and refusal of short, oversized and
// malformed frames.
#include "proto/wire.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/mem.h"

namespace {

std::vector<char> pattern(int n) {
  std::vector<char> v(n);
  for (int i = 0; i < n; i++) v[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return v;
}

struct SocketPair {
  int fd[2];
  SocketPair() { EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fd)); }
  ~SocketPair() {
    if (fd[0] >= 0) close(fd[0]);
    if (fd[1] >= 0) close(fd[1]);
  }
  void close_writer() {
    close(fd[0]);
    fd[0] = -1;
  }
};

// Writes raw bytes from a thread so that large writes cannot block the test.
void write_raw_async(int fd, std::vector<char> bytes, std::thread &t) {
  t = std::thread([fd, bytes]() {
    size_t off = 0;
    while (off < bytes.size()) {
      ssize_t w = send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
      if (w <= 0) return;
      off += static_cast<size_t>(w);
    }
  });
}

std::vector<char> header(int32_t a, int32_t b) {
  std::vector<char> h(8);
  wire_put32(h.data(), a);
  wire_put32(h.data() + 4, b);
  return h;
}

}  // namespace

TEST(WirePad, SizeClasses) {
  EXPECT_EQ(0, wire_pad(0, 1));
  EXPECT_EQ(100, wire_pad(100, 1));
  EXPECT_EQ(3800, wire_pad(3800, 1));
  EXPECT_EQ(6000, wire_pad(3801, 1));
  EXPECT_EQ(6000, wire_pad(5999, 1));
  EXPECT_EQ(7000, wire_pad(7000, 1));
  EXPECT_EQ(10000, wire_pad(10000, 1));
  EXPECT_EQ(10001, wire_pad(10001, 1));
  EXPECT_EQ(2000, wire_pad(13, 2));
  EXPECT_EQ(6000, wire_pad(3801, 2));
}

TEST(WireEncode, FrameLayoutAtBoundaries) {
  struct Case {
    int len;
    std::vector<int> frames;  // the frame length words, in order
  } cases[] = {
      {0, {8}},
      {100, {108}},
      {1999, {2007}},
      {3800, {3808}},
      {4000, {6008}},
      {6000, {6008}},
      {10000, {10008}},
      {10001, {10000, 2000}},         // R = 9, padded to class 2
      {9992 + 9996, {10000, 10000}},  // two full frames
      {9992 + 9996 + 1, {10000, 10000, 2000}},
      {9992 + 3796, {10000, 3800}},  // last frame exactly 3800
      {9992 + 3797, {10000, 6000}},
      {9992 + 9995, {10000, 9999}},  // R + 4 = 9999 stays
  };
  for (const Case &c : cases) {
    std::vector<char> msg = pattern(c.len);
    std::vector<char> enc = wire_encode(msg.data(), c.len);
    size_t pos = 0;
    for (size_t i = 0; i < c.frames.size(); i++) {
      ASSERT_LE(pos + 4, enc.size()) << c.len;
      EXPECT_EQ(c.frames[i], wire_get32(enc.data() + pos)) << "len " << c.len << " frame " << i;
      if (i == 0) {
        EXPECT_EQ(c.len, wire_get32(enc.data() + 4));
      }
      pos += static_cast<size_t>(wire_get32(enc.data() + pos));
    }
    EXPECT_EQ(pos, enc.size()) << c.len;
    std::vector<char> out;
    size_t used = 0;
    ASSERT_EQ(WIRE_OK, wire_decode(enc.data(), enc.size(), out, &used)) << c.len;
    EXPECT_EQ(enc.size(), used);
    EXPECT_EQ(msg, out) << c.len;
  }
}

TEST(WireEncode, MessageBytesSitRightAfterTheHeaders) {
  std::vector<char> msg = pattern(20000);
  std::vector<char> enc = wire_encode(msg.data(), 20000);
  EXPECT_EQ(0, memcmp(enc.data() + 8, msg.data(), 9992));
  EXPECT_EQ(0, memcmp(enc.data() + 10004, msg.data() + 9992, 9996));
  EXPECT_EQ(0, memcmp(enc.data() + 20004, msg.data() + 9992 + 9996, 12));
}

TEST(WireDecode, RefusesMalformedInput) {
  std::vector<char> out;
  EXPECT_EQ(WIRE_CLOSED, wire_decode(nullptr, 0, out, nullptr));
  std::vector<char> h = header(7, 0);  // frame shorter than its header
  EXPECT_EQ(WIRE_ERROR, wire_decode(h.data(), h.size(), out, nullptr));
  h = header(10009, 1);  // frame beyond the frame buffer
  h.resize(10009);
  EXPECT_EQ(WIRE_ERROR, wire_decode(h.data(), h.size(), out, nullptr));
  h = header(8, -5);  // negative message length
  EXPECT_EQ(WIRE_ERROR, wire_decode(h.data(), h.size(), out, nullptr));
  h = header(8, WIRE_MSG_LIMIT + 1);
  EXPECT_EQ(WIRE_ERROR, wire_decode(h.data(), h.size(), out, nullptr));
  // Every truncation of a valid two-frame stream is refused.
  std::vector<char> msg = pattern(12000);
  std::vector<char> enc = wire_encode(msg.data(), 12000);
  for (size_t n = 1; n < enc.size(); n += (n < 20 ? 1 : 97))
    EXPECT_EQ(WIRE_ERROR, wire_decode(enc.data(), n, out, nullptr)) << n;
  // A continuation frame announcing less than its header.
  std::vector<char> bad = enc;
  wire_put32(bad.data() + 10000, 3);
  EXPECT_EQ(WIRE_ERROR, wire_decode(bad.data(), bad.size(), out, nullptr));
}

// The reader takes its input in pieces of any size: fed byte by byte or in
// odd pieces it needs more at every cut, completes exactly at the end of
// the message, leaves the next message's bytes untouched, and keeps no
// more memory than what arrived.
TEST(FrameReaderTest, PiecesTruncationAndWhatFollows) {
  for (int len : {0, 7, 9992, 9993, 25000}) {
    std::vector<char> msg = pattern(len), enc = wire_encode(msg.data(), len);
    std::vector<char> two = enc;
    two.insert(two.end(), enc.begin(), enc.end());
    for (size_t piece : {size_t{1}, size_t{3}, size_t{4097}, two.size()}) {
      FrameReader r;
      size_t pos = 0;
      while (pos < two.size() && r.status() == FrameReader::NEED_MORE) {
        size_t n = std::min(piece, two.size() - pos), used = 0;
        // a reader never asks for bytes past its message
        ASSERT_LE(r.wanted(), enc.size() - std::min(pos, enc.size()));
        r.feed(two.data() + pos, n, &used);
        pos += used;
        if (pos < enc.size()) {
          ASSERT_EQ(FrameReader::NEED_MORE, r.status()) << len << " at " << pos;
        }
      }
      ASSERT_EQ(FrameReader::COMPLETE, r.status()) << len;
      EXPECT_EQ(enc.size(), pos) << len << " piece " << piece;
      EXPECT_EQ(msg, std::vector<char>(r.data(), r.data() + r.size()));
      EXPECT_EQ(0u, r.wanted());
    }
  }
  FrameReader r;
  std::vector<char> h = header(8 + 100, 200000000);
  h.resize(8 + 100);
  EXPECT_EQ(FrameReader::NEED_MORE, r.feed(h.data(), h.size(), nullptr));
  EXPECT_EQ(100, r.size());
  EXPECT_EQ(200000000, r.announced());
  r.reset();
  h = header(8, WIRE_MSG_LIMIT);
  FrameReader small(1000);
  EXPECT_EQ(FrameReader::MALFORMED, small.feed(h.data(), h.size(), nullptr));
  EXPECT_EQ(FrameReader::FAULT_LENGTH, small.fault());
}

TEST(WireSocket, RoundTripsAtBoundarySizes) {
  for (int len : {0, 1, 100, 1999, 2000, 3800, 3801, 5999, 6000, 9999, 10000, 10001, 19988, 19989,
                  100000, 1000000}) {
    SocketPair sp;
    std::vector<char> msg = pattern(len);
    std::thread writer([&]() { EXPECT_EQ(1, wire_send_message(sp.fd[0], msg.data(), len)); });
    std::vector<char> out;
    EXPECT_EQ(WIRE_OK, wire_recv_message(sp.fd[1], out)) << len;
    writer.join();
    EXPECT_EQ(msg, out) << len;
  }
}

// A long message goes out in batches of frames straight from the caller's
// bytes: on the socket they are exactly the encoded frames, across the
// batch boundaries, and they read back whole (past the first megabyte the
// reader holds the whole message in one block).
TEST(WireSocket, SentBytesAreTheEncodedFramesAcrossBatches) {
  for (int len : {9993, WIRE_FIRST_DATA + 255 * WIRE_CONT_DATA,
                  WIRE_FIRST_DATA + 256 * WIRE_CONT_DATA + 1, 3000001}) {
    std::vector<char> msg = pattern(len);
    SocketPair sp;
    std::thread writer([&]() {
      EXPECT_EQ(1, wire_send_message(sp.fd[0], msg.data(), len));
      sp.close_writer();
    });
    std::vector<char> raw;
    char buf[65536];
    ssize_t r;
    while ((r = read(sp.fd[1], buf, sizeof buf)) > 0) raw.insert(raw.end(), buf, buf + r);
    writer.join();
    EXPECT_TRUE(raw == wire_encode(msg.data(), len)) << len;
    std::vector<char> out;
    size_t used = 0;
    ASSERT_EQ(WIRE_OK, wire_decode(raw.data(), raw.size(), out, &used)) << len;
    EXPECT_EQ(used, raw.size());
    EXPECT_TRUE(out == msg) << len;
  }
}

TEST(WireSocket, ConsecutiveMessagesStayApart) {
  SocketPair sp;
  std::vector<char> a = pattern(10001), b = pattern(5);
  std::thread writer([&]() {
    wire_send_message(sp.fd[0], a.data(), 10001);
    wire_send_message(sp.fd[0], b.data(), 5);
    sp.close_writer();
  });
  std::vector<char> out;
  EXPECT_EQ(WIRE_OK, wire_recv_message(sp.fd[1], out));
  EXPECT_EQ(a, out);
  EXPECT_EQ(WIRE_OK, wire_recv_message(sp.fd[1], out));
  EXPECT_EQ(b, out);
  writer.join();
  EXPECT_EQ(WIRE_CLOSED, wire_recv_message(sp.fd[1], out));
}

TEST(WireSocket, ClientReceiveUsesBufferOrBigBlock) {
  SocketPair sp;
  std::vector<char> small = pattern(4000), large = pattern(25000);
  std::thread writer([&]() {
    wire_send_message(sp.fd[0], small.data(), 4000);
    wire_send_message(sp.fd[0], large.data(), 25000);
  });
  std::vector<char> buf(10000);
  char *big = reinterpret_cast<char *>(1);
  int bigsize = 0;
  ASSERT_EQ(4000, wire_recv(sp.fd[1], buf.data(), 10000, &big, &bigsize));
  EXPECT_EQ(nullptr, big);
  EXPECT_EQ(-1, bigsize);
  EXPECT_EQ(0, memcmp(buf.data(), small.data(), 4000));
  ASSERT_EQ(25000, wire_recv(sp.fd[1], buf.data(), 10000, &big, &bigsize));
  ASSERT_NE(nullptr, big);
  EXPECT_EQ(25000, bigsize);
  EXPECT_EQ(0, memcmp(big, large.data(), 25000));
  xfree(big);
  writer.join();
}

TEST(WireSocket, TooBigWithoutBigBufferFails) {
  SocketPair sp;
  std::vector<char> msg = pattern(11000);
  std::thread writer([&]() { wire_send_message(sp.fd[0], msg.data(), 11000); });
  std::vector<char> buf(10000);
  testing::internal::CaptureStdout();
  EXPECT_EQ(-1, wire_recv(sp.fd[1], buf.data(), 10000, nullptr, nullptr));
  EXPECT_EQ("client read: Message too big (len 11000 / buffersize = 10000)\n",
            testing::internal::GetCapturedStdout());
  sp.close_writer();  // drops the unread rest
  writer.join();
}

TEST(WireSocket, ShortAndOversizedFramesFail) {
  {
    // A first frame of 6 bytes: no message length.
    SocketPair sp;
    std::vector<char> raw = header(6, 0);
    raw.resize(6);
    std::thread t;
    write_raw_async(sp.fd[0], raw, t);
    std::vector<char> buf(100);
    testing::internal::CaptureStdout();
    EXPECT_EQ(-1, wire_recv(sp.fd[1], buf.data(), 100, nullptr, nullptr));
    EXPECT_EQ("client read: Message length data missing (received 6)\n",
              testing::internal::GetCapturedStdout());
    t.join();
  }
  {
    // A frame announcing more than the frame buffer is never read into it.
    SocketPair sp;
    std::vector<char> raw = header(20000, 19992);
    raw.resize(20000, 'x');
    std::thread t;
    write_raw_async(sp.fd[0], raw, t);
    std::vector<char> out;
    EXPECT_EQ(WIRE_ERROR, wire_recv_message(sp.fd[1], out));
    sp.close_writer();
    close(sp.fd[1]);
    sp.fd[1] = -1;
    t.join();
  }
  for (int32_t total : {-1, WIRE_MSG_LIMIT + 1}) {
    SocketPair sp;
    std::vector<char> raw = header(8, total);
    std::thread t;
    write_raw_async(sp.fd[0], raw, t);
    std::vector<char> out;
    EXPECT_EQ(WIRE_ERROR, wire_recv_message(sp.fd[1], out)) << total;
    char buf[16];
    t.join();
    write_raw_async(sp.fd[0], raw, t);
    char *big = nullptr;
    int bigsize = 0;
    EXPECT_EQ(-1, wire_recv(sp.fd[1], buf, sizeof buf, &big, &bigsize)) << total;
    EXPECT_EQ(nullptr, big);
    t.join();
  }
  {
    // The peer goes away in the middle of a message.
    SocketPair sp;
    std::vector<char> msg = pattern(15000);
    std::vector<char> enc = wire_encode(msg.data(), 15000);
    enc.resize(12000);
    std::thread t;
    write_raw_async(sp.fd[0], enc, t);
    t.join();
    sp.close_writer();
    std::vector<char> out;
    EXPECT_EQ(WIRE_ERROR, wire_recv_message(sp.fd[1], out));
  }
}

TEST(WireSocket, EveryFirstFrameBelowEightBytesLacksTheLength) {
  // The frame length word counts itself; any first frame of 1 to 7 bytes
  // has no room for the message length and is reported with its length.
  for (int32_t flen = 1; flen <= 7; flen++) {
    SocketPair sp;
    std::vector<char> raw = header(flen, 0);
    raw.resize(flen < 4 ? 4 : flen);
    std::thread t;
    write_raw_async(sp.fd[0], raw, t);
    t.join();
    std::vector<char> buf(100);
    testing::internal::CaptureStdout();
    EXPECT_EQ(-1, wire_recv(sp.fd[1], buf.data(), 100, nullptr, nullptr)) << flen;
    EXPECT_EQ("client read: Message length data missing (received " + std::to_string(flen) + ")\n",
              testing::internal::GetCapturedStdout());
  }
  // A frame length of 0 or below is a plain failure, without that text.
  for (int32_t flen : {0, -8}) {
    SocketPair sp;
    std::vector<char> raw = header(flen, 0);
    std::thread t;
    write_raw_async(sp.fd[0], raw, t);
    t.join();
    std::vector<char> buf(100);
    testing::internal::CaptureStdout();
    EXPECT_EQ(-1, wire_recv(sp.fd[1], buf.data(), 100, nullptr, nullptr)) << flen;
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
  }
}

TEST(WireSocket, AnyLengthAboveTheBufferIsTooBigWithoutBigBuffer) {
  // Without big-buffer slots the announced length only has to exceed the
  // buffer, however absurd it is.
  SocketPair sp;
  std::vector<char> raw = header(8, WIRE_MSG_LIMIT + 1);
  std::thread t;
  write_raw_async(sp.fd[0], raw, t);
  t.join();
  char buf[16];
  testing::internal::CaptureStdout();
  EXPECT_EQ(-1, wire_recv(sp.fd[1], buf, sizeof buf, nullptr, nullptr));
  EXPECT_EQ("client read: Message too big (len " + std::to_string(WIRE_MSG_LIMIT + 1) +
                " / buffersize = 16)\n",
            testing::internal::GetCapturedStdout());
}

TEST(WireSocket, SendToClosedPeerFailsWithoutSignal) {
  SocketPair sp;
  close(sp.fd[1]);
  sp.fd[1] = -1;
  std::vector<char> msg = pattern(50000);
  EXPECT_EQ(0, wire_send_message(sp.fd[0], msg.data(), 50000));
  EXPECT_EQ(0, wire_send_message(sp.fd[0], msg.data(), -1));
}
