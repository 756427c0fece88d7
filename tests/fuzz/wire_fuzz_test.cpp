// Fuzz tests of the message framing of proto/wire.h: random and mutated
// byte streams go through the pure decoder wire_decode and through the two
// socket receivers (fed from a file, which reads like a peer that sent the
// bytes and closed), which must agree with each other, never take more bytes
// than the message's frames, and give back exactly what wire_encode framed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/mem.h"
#include "proto/wire.h"
#include "tests/fuzz/fuzz.h"

using fuzz::Bytes;
using fuzz::Feed;
using fuzz::Rng;

namespace {

// Sends standard output to /dev/null while it lives: wire_recv prints its
// frame-level complaints there, thousands of times in these tests.
class QuietStdout {
 public:
  QuietStdout() {
    fflush(stdout);
    saved_ = dup(1);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      close(null);
    }
  }
  ~QuietStdout() {
    fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, 1);
      close(saved_);
    }
  }

 private:
  int saved_;
};

// A message of n random bytes.
Bytes message(Rng &rng, int n) { return rng.bytes(n); }

// Lengths around every boundary of the frame layout.
int interesting_length(Rng &rng) {
  static const int v[] = {0,
                          1,
                          7,
                          8,
                          100,
                          1999,
                          2000,
                          3800,
                          3801,
                          5999,
                          6000,
                          9991,
                          9992,
                          9993,
                          9999,
                          10000,
                          10001,
                          9992 + 9996,
                          9992 + 9996 + 1,
                          9992 + 9995,
                          9992 + 2 * 9996,
                          9992 + 2 * 9996 - 1,
                          9992 + 9996 + 3796,
                          9992 + 9996 + 3797,
                          9992 + 9996 + 9996 - 4};
  if (rng.chance(3)) return rng.below(40000);
  return v[rng.below(static_cast<int>(sizeof v / sizeof v[0]))];
}

// Decodes b every way and checks that the ways agree.  Returns the status
// of wire_decode.
int decode_all_ways(const Bytes &b) {
  fuzz::Exact x(b);
  std::vector<char> out;
  size_t used = 12345678;
  int st = wire_decode(x.data(), b.size(), out, &used);
  EXPECT_TRUE(st == WIRE_OK || st == WIRE_CLOSED || st == WIRE_ERROR) << st;
  if (st == WIRE_OK) {
    EXPECT_LE(used, b.size());
    EXPECT_GE(used, 8u);
    EXPECT_LE(out.size(), static_cast<size_t>(WIRE_MSG_LIMIT));
  }
  if (b.empty()) {
    EXPECT_EQ(st, WIRE_CLOSED);
  }
  EXPECT_LE(out.capacity(), b.size()) << "allocated for more than the input holds";

  {
    Feed f(b);
    EXPECT_TRUE(f.ok());
    std::vector<char> got;
    int r = wire_recv_message(f.fd(), got);
    EXPECT_EQ(r, st) << "wire_recv_message and wire_decode disagree";
    if (r == WIRE_OK && st == WIRE_OK) {
      EXPECT_EQ(got, out);
      EXPECT_EQ(f.consumed(), static_cast<long>(used)) << "took more or less than its frames";
    }
    EXPECT_LE(f.consumed(), static_cast<long>(b.size()));
  }
  {
    // The client's receiver, with a larger block allowed.
    Feed f(b);
    char buf[10000];
    char *big = reinterpret_cast<char *>(1);
    int bigsize = -7;
    int r;
    {
      QuietStdout quiet;
      r = wire_recv(f.fd(), buf, sizeof buf, &big, &bigsize);
    }
    if (st == WIRE_OK) {
      EXPECT_EQ(r, static_cast<int>(out.size()));
      if (r >= 0) {
        const char *p = big ? big : buf;
        if (big) {
          EXPECT_EQ(bigsize, r);
        } else {
          EXPECT_EQ(bigsize, -1);
          EXPECT_LE(r, static_cast<int>(sizeof buf));
        }
        EXPECT_EQ(Bytes(p, p + r), out);
        EXPECT_EQ(f.consumed(), static_cast<long>(used));
      }
    } else {
      EXPECT_EQ(r, -1);
    }
    if (r >= 0 && big) xfree(big);
    EXPECT_LE(f.consumed(), static_cast<long>(b.size()));
  }
  {
    // Without a larger block: a message above the buffer fails, others as
    // before.
    Feed f(b);
    char buf[64];
    int r;
    {
      QuietStdout quiet;
      r = wire_recv(f.fd(), buf, sizeof buf, nullptr, nullptr);
    }
    if (st == WIRE_OK && out.size() <= sizeof buf) {
      EXPECT_EQ(r, static_cast<int>(out.size()));
      if (r >= 0) {
        EXPECT_EQ(Bytes(buf, buf + r), out);
      }
    } else {
      EXPECT_EQ(r, -1);
    }
  }
  return st;
}

}  // namespace

// wire_encode, wire_send_message and the receivers round-trip every length
// around the frame boundaries.
TEST(WireFuzz, RoundTripAtFrameBoundaries) {
  Rng rng(11);
  for (int iter = 0; iter < 120; iter++) {
    Bytes m = message(rng, interesting_length(rng));
    Bytes enc = wire_encode(m.data(), static_cast<int>(m.size()));
    Feed sent(Bytes{});
    ASSERT_TRUE(sent.ok());
    ASSERT_EQ(wire_send_message(sent.fd(), m.data(), static_cast<int>(m.size())), 1);
    ASSERT_EQ(sent.consumed(), static_cast<long>(enc.size()));
    Bytes written(enc.size());
    ASSERT_EQ(pread(sent.fd(), written.data(), written.size(), 0),
              static_cast<ssize_t>(written.size()));
    EXPECT_EQ(written, enc) << "sender and encoder differ at length " << m.size();

    // Followed by a second message: each receiver takes only the first.
    Bytes two = enc;
    Bytes next = wire_encode("x", 1);
    two.insert(two.end(), next.begin(), next.end());
    std::vector<char> out;
    size_t used = 0;
    ASSERT_EQ(wire_decode(two.data(), two.size(), out, &used), WIRE_OK);
    EXPECT_EQ(out, m);
    EXPECT_EQ(used, enc.size());
    EXPECT_EQ(decode_all_ways(two), WIRE_OK);
  }
}

// Every truncation of framed messages of one, two and three frames fails
// cleanly, except the complete stream.
TEST(WireFuzz, TruncatedAtEveryLength) {
  Rng rng(12);
  for (int len : {0, 5, 3900, 10001, 9992 + 9996 + 40}) {
    Bytes m = message(rng, len);
    Bytes enc = wire_encode(m.data(), len);
    // Every cut near the headers and the frame ends, a sample elsewhere.
    for (size_t cut = 0; cut < enc.size(); cut++) {
      bool near = cut < 16 || (cut % 10000) < 8 || (cut % 10000) > 9992 || cut + 16 > enc.size();
      if (!near && !rng.chance(97)) continue;
      Bytes b(enc.begin(), enc.begin() + cut);
      int st = decode_all_ways(b);
      EXPECT_EQ(st, cut == 0 ? WIRE_CLOSED : WIRE_ERROR) << "len " << len << " cut " << cut;
    }
  }
}

// Headers with extreme frame and message lengths, bit flips and random bytes.
TEST(WireFuzz, MutatedAndRandomStreams) {
  Rng rng(13);
  for (int iter = 0; iter < 700; iter++) {
    Bytes b;
    int kind = rng.below(4);
    if (kind == 0) {
      b = rng.bytes(rng.below(64));
    } else {
      Bytes m = message(rng, rng.chance(4) ? interesting_length(rng) : rng.below(200));
      b = wire_encode(m.data(), static_cast<int>(m.size()));
      if (kind == 1) {
        // A length word of the first or a later frame at an extreme.
        size_t at = rng.chance(2) ? static_cast<size_t>(rng.below(2) * 4)
                                  : static_cast<size_t>(10000 * (1 + rng.below(3)));
        fuzz::put32(b, at, fuzz::extreme32(rng));
      } else {
        fuzz::mutate_some(rng, b, 3);
      }
    }
    decode_all_ways(b);
  }
}

// Found by MutatedAndRandomStreams: a bare header announcing a message of
// 256 MiB made wire_decode reserve all of it before finding that the input
// ends; it now reserves no more than the input can hold.
TEST(WireFuzz, AnnouncedLengthDoesNotAllocate) {
  for (int32_t total : {WIRE_MSG_LIMIT, WIRE_MSG_LIMIT - 1, 100000000, 10000}) {
    Bytes b(8);
    fuzz::put32(b, 0, 8);
    fuzz::put32(b, 4, total);
    std::vector<char> out;
    EXPECT_EQ(wire_decode(b.data(), b.size(), out, nullptr), WIRE_ERROR);
    EXPECT_LE(out.capacity(), b.size()) << total;
  }
}
