// Fuzz tests of korvald's side of the socket: kv_recv_request (server.h)
// on random and mutated frame streams, checked against the client
// library's pure frame decoder, and a running server that is sent garbage
// on many connections and must still answer a proper client afterwards.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "proto/query.h"
#include "proto/wire.h"
#include "server/server.h"
#include "tests/fuzz/fuzz.h"
#include "tests/support/korvald_child.h"

using fuzz::Bytes;
using fuzz::Feed;
using fuzz::Rng;

namespace {

Bytes framed_request(Rng &rng) {
  int n = rng.chance(5) ? rng.below(25000) : rng.below(100);
  Bytes m = rng.bytes(n);
  return wire_encode(m.data(), n);
}

// kv_recv_request agrees with wire_decode (below the server's own limit),
// and takes exactly the bytes of the message's frames.
void check_stream(const Bytes &b) {
  std::vector<char> want;
  size_t used = 0;
  int st = wire_decode(b.data(), b.size(), want, &used);
  Feed f(b);
  FrameReader reader(KV_MAX_REQUEST);
  KvRecv r = kv_recv_request(f.fd(), reader, 0);
  std::vector<char> got(reader.data(), reader.data() + reader.size());
  EXPECT_TRUE(r == KV_RECV_OK || r == KV_RECV_CLOSED || r == KV_RECV_MALFORMED) << r;
  EXPECT_LE(f.consumed(), static_cast<long>(b.size()));
  if (st == WIRE_OK && want.size() <= static_cast<size_t>(KV_MAX_REQUEST)) {
    EXPECT_EQ(r, KV_RECV_OK) << fuzz::hex(b);
    EXPECT_EQ(got, want);
    EXPECT_EQ(f.consumed(), static_cast<long>(used));
  } else if (st == WIRE_CLOSED) {
    EXPECT_EQ(r, KV_RECV_CLOSED);
  } else {
    EXPECT_EQ(r, KV_RECV_MALFORMED) << fuzz::hex(b);
  }
}

}  // namespace

TEST(RecvFuzz, RequestFramesAgreeWithTheDecoder) {
  Rng rng(61);
  for (int iter = 0; iter < 1500; iter++) {
    Bytes b;
    switch (rng.below(3)) {
      case 0: b = rng.bytes(rng.below(40)); break;
      case 1:
        b = framed_request(rng);
        fuzz::put32(b, rng.chance(2) ? 4 * static_cast<size_t>(rng.below(2)) : 10000,
                    fuzz::extreme32(rng));
        break;
      default:
        b = framed_request(rng);
        fuzz::mutate_some(rng, b, 3);
        break;
    }
    check_stream(b);
  }
  // Every cut of a three-frame request near its headers.
  Bytes m = rng.bytes(9992 + 9996 + 50);
  Bytes enc = wire_encode(m.data(), static_cast<int>(m.size()));
  for (size_t cut = 0; cut <= enc.size(); cut++)
    if (cut < 16 || cut % 10000 < 8 || cut % 10000 > 9995 || cut + 8 > enc.size())
      check_stream(Bytes(enc.begin(), enc.begin() + cut));
}

// A running server gets garbage, cut frames and random requests on many
// connections, then still serves a proper client.
TEST(RecvFuzz, ServerSurvivesGarbageConnections) {
  char tmpl[] = "/tmp/kv-recv-fuzz-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  {
    KvOptions o;
    o.datadir = dir + "/data";
    o.port = 0;
    KvServer server(o);
    std::string err;
    ASSERT_TRUE(server.init(&err)) << err;
    int port = server.listen_socket(&err);
    ASSERT_GT(port, 0) << err;
    std::thread runner([&server]() { server.run(); });

    Rng rng(62);
    for (int iter = 0; iter < 120; iter++) {
      int fd = loopback_connect(port);
      ASSERT_GE(fd, 0);
      Bytes b;
      if (rng.chance(3)) {
        b = rng.bytes(rng.below(64));
      } else {
        // An open request, then a random or mutated one.
        Bytes open = fuzz::open_request("KVSYS");
        b = wire_encode(open.data(), static_cast<int>(open.size()));
        Bytes m = rng.bytes(1 + rng.below(60));
        m[0] = static_cast<char>("1234CEGIJKMNOPQRSTUVX"[rng.below(21)]);
        if (m[0] == CMD_STOP_SERVER || m[0] == CMD_STOP) m[0] = CMD_SELECT;
        Bytes f = wire_encode(m.data(), static_cast<int>(m.size()));
        if (rng.chance(2)) fuzz::mutate_some(rng, f, 2);
        b.insert(b.end(), f.begin(), f.end());
      }
      // A stop request or STOP would end the test's server: every message
      // that decodes as one becomes a SELECT.
      for (size_t pos = 0; pos < b.size();) {
        std::vector<char> msg;
        size_t used = 0;
        if (wire_decode(b.data() + pos, b.size() - pos, msg, &used) != WIRE_OK) break;
        if (!msg.empty() && (msg[0] == CMD_STOP_SERVER || msg[0] == CMD_STOP))
          b[pos + 8] = CMD_SELECT;
        pos += used;
      }
      size_t off = 0;
      while (off < b.size()) {
        ssize_t w = send(fd, b.data() + off, b.size() - off, MSG_NOSIGNAL);
        if (w <= 0) break;
        off += static_cast<size_t>(w);
      }
      shutdown(fd, SHUT_WR);
      char sink[4096];
      while (read(fd, sink, sizeof sink) > 0) {
      }
      close(fd);
    }

    int fd = loopback_connect(port);
    ASSERT_GE(fd, 0);
    Bytes req = fuzz::open_request("KVSYS");
    ASSERT_EQ(wire_send_message(fd, req.data(), static_cast<int>(req.size())), 1);
    std::vector<char> reply;
    EXPECT_EQ(wire_recv_message(fd, reply), WIRE_OK);
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], REPLY_OK);
    close(fd);
    server.stop();
    runner.join();
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}
