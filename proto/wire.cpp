// Message framing of the KORVAL protocol: padding by size class, cutting a
// message into frames on sending and putting it back together on receipt.
// Used by the connection layer of the client library and by the server.
#include "proto/wire.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "base/mem.h"
#include "proto/endian.h"

const SockSize sock_sizes[3] = {{0, 1999}, {2000, 3800}, {6000, 10000}};

int wire_pad(int n, int start_class) {
  for (int c = start_class - 1; c < 3; c++) {
    if (sock_sizes[c].max >= n) return n < sock_sizes[c].min ? sock_sizes[c].min : n;
  }
  return n;
}

void wire_put32(char *p, int32_t v) { le_put32(p, static_cast<uint32_t>(v)); }

int32_t wire_get32(const char *p) { return static_cast<int32_t>(le_get32(p)); }

namespace {

// Walks the frames of one message and hands each to a sink as one piece.
// The frame layout lives only here, so that the encoder and the sender
// cannot disagree.
template <class Sink>
bool for_each_frame(const char *msg, int len, char *frame, Sink sink) {
  int padded = wire_pad(len, 1);
  if (padded <= WIRE_FRAME_MAX) {
    wire_put32(frame, padded + 8);
    wire_put32(frame + 4, len);
    if (len > 0) memcpy(frame + 8, msg, len);
    memset(frame + 8 + len, 0, padded - len);
    return sink(frame, padded + 8);
  }
  wire_put32(frame, WIRE_FRAME_MAX);
  wire_put32(frame + 4, len);
  memcpy(frame + 8, msg, WIRE_FIRST_DATA);
  if (!sink(frame, WIRE_FRAME_MAX)) return false;
  int pos = WIRE_FIRST_DATA;
  while (pos < len) {
    if (pos + WIRE_CONT_DATA <= len) {
      wire_put32(frame, WIRE_FRAME_MAX);
      memcpy(frame + 4, msg + pos, WIRE_CONT_DATA);
      if (!sink(frame, WIRE_FRAME_MAX)) return false;
      pos += WIRE_CONT_DATA;
    } else {
      int rest = len - pos;
      int flen = wire_pad(rest + 4, 2);
      wire_put32(frame, flen);
      memcpy(frame + 4, msg + pos, rest);
      memset(frame + 4 + rest, 0, flen - 4 - rest);
      if (!sink(frame, flen)) return false;
      pos = len;
    }
  }
  return true;
}

bool write_all(int fd, const char *p, size_t n) {
  while (n > 0) {
    ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == ENOTSOCK) w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

std::vector<char> wire_encode(const char *msg, int len) {
  std::vector<char> out;
  if (len < 0) return out;
  char frame[WIRE_FRAME_BUF];
  for_each_frame(msg, len, frame, [&out](const char *p, int n) {
    out.insert(out.end(), p, p + n);
    return true;
  });
  return out;
}

int wire_send_message(int fd, const char *msg, int len) {
  if (len < 0) return 0;
  char frame[WIRE_FRAME_BUF];
  return for_each_frame(msg, len, frame, [fd](const char *p, int n) { return write_all(fd, p, n); })
             ? 1
             : 0;
}

// ---------------------------------------------------------------------------
// FrameReader.  A message is a first frame (length word, message length,
// body) and, while the message is not complete, continuation frames (length
// word, body).  Each body carries message bytes up to the announced length;
// the rest of it is padding.  The reader walks these parts as a small state
// machine over whatever bytes arrive, so the same code serves a buffer in
// memory and a socket read in pieces.

FrameReader::FrameReader(int32_t limit) : limit_(limit) {}

FrameReader::~FrameReader() { xfree(buf_); }

void FrameReader::reset() {
  xfree(buf_);
  buf_ = nullptr;
  cap_ = have_ = 0;
  status_ = NEED_MORE;
  fault_ = FAULT_NONE;
  part_ = FIRST_LEN;
  word_have_ = 0;
  first_flen_ = 0;
  total_ = -1;
  body_left_ = 0;
}

char *FrameReader::release() {
  char *block = buf_ ? buf_ : static_cast<char *>(xmalloc(1));
  buf_ = nullptr;
  reset();
  return block;
}

size_t FrameReader::wanted() const {
  if (status_ != NEED_MORE) return 0;
  switch (part_) {
    case FIRST_LEN:
    case FIRST_TOTAL:
    case CONT_LEN: return static_cast<size_t>(4 - word_have_);
    default: return static_cast<size_t>(body_left_);
  }
}

// Appends message bytes, growing the block by doubling up to the announced
// length; true once the message is complete.
bool FrameReader::take_payload(const char *p, size_t n) {
  int32_t want = total_ - have_;
  int32_t take = static_cast<int32_t>(std::min<size_t>(n, static_cast<size_t>(want)));
  if (take > 0) {
    if (have_ + take > cap_) {
      int64_t cap = std::max<int64_t>(cap_ * int64_t{2}, 16384);
      cap = std::min<int64_t>(std::max<int64_t>(cap, have_ + take), total_);
      buf_ = static_cast<char *>(xrealloc(buf_, static_cast<size_t>(cap)));
      cap_ = static_cast<int32_t>(cap);
    }
    memcpy(buf_ + have_, p, static_cast<size_t>(take));
    have_ += take;
  }
  return have_ == total_;
}

FrameReader::Progress FrameReader::feed(const char *data, size_t n, size_t *used) {
  size_t pos = 0;
  auto fail = [&](Fault f) {
    status_ = MALFORMED;
    fault_ = f;
  };
  while (status_ == NEED_MORE) {
    if (part_ == FIRST_LEN || part_ == FIRST_TOTAL || part_ == CONT_LEN) {
      while (word_have_ < 4 && pos < n) word_[word_have_++] = data[pos++];
      if (word_have_ < 4) break;
      word_have_ = 0;
      int32_t v = wire_get32(word_);
      if (part_ == FIRST_LEN) {
        if (v <= 0 || v > WIRE_FRAME_BUF) {
          fail(FAULT_FRAME_LENGTH);
        } else if (v < 8) {
          first_flen_ = v;
          fail(FAULT_SHORT_FIRST);
        } else {
          first_flen_ = v;
          part_ = FIRST_TOTAL;
        }
      } else if (part_ == FIRST_TOTAL) {
        if (v < 0 || v > limit_) {
          fail(FAULT_LENGTH);
        } else {
          total_ = v;
          body_left_ = first_flen_ - 8;
          part_ = FIRST_BODY;
        }
      } else {
        if (v < 4 || v > WIRE_FRAME_BUF) {
          fail(FAULT_FRAME_LENGTH);
        } else {
          body_left_ = v - 4;
          part_ = CONT_BODY;
        }
      }
      continue;
    }
    // A frame body: message bytes, then padding.
    size_t take = std::min(n - pos, static_cast<size_t>(body_left_));
    bool done = take_payload(data + pos, take);
    pos += take;
    body_left_ -= static_cast<int32_t>(take);
    if (body_left_ > 0) break;
    if (done)
      status_ = COMPLETE;
    else
      part_ = CONT_LEN;
  }
  if (used) *used = pos;
  return status_;
}

// ---------------------------------------------------------------------------

int wire_decode(const char *data, size_t n, std::vector<char> &out, size_t *used) {
  out.clear();
  if (n == 0) return WIRE_CLOSED;
  FrameReader reader;
  size_t took = 0;
  if (reader.feed(data, n, &took) != FrameReader::COMPLETE) return WIRE_ERROR;
  out.assign(reader.data(), reader.data() + reader.size());
  if (used) *used = took;
  return WIRE_OK;
}

int wire_read(int fd, FrameReader &reader, bool stop_after_header) {
  char chunk[WIRE_FRAME_BUF];
  while (reader.status() == FrameReader::NEED_MORE) {
    if (stop_after_header && reader.announced() >= 0) return WIRE_OK;
    size_t want = std::min(reader.wanted(), sizeof chunk);
    ssize_t r = read(fd, chunk, want);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return (r == 0 && !reader.started()) ? WIRE_CLOSED : WIRE_ERROR;
    reader.feed(chunk, static_cast<size_t>(r), nullptr);
  }
  return reader.status() == FrameReader::COMPLETE ? WIRE_OK : WIRE_ERROR;
}

int wire_recv_message(int fd, std::vector<char> &out, int32_t limit) {
  out.clear();
  FrameReader reader(limit);
  int st = wire_read(fd, reader);
  if (st == WIRE_OK) out.assign(reader.data(), reader.data() + reader.size());
  return st;
}

int wire_recv(int fd, char *buf, int bufsize, char **big, int *bigsize) {
  // The client decides on the length itself (a too-long message is "too
  // big" for a small buffer before it is over the limit).
  FrameReader reader(INT32_MAX);
  int st = wire_read(fd, reader, true);
  if (st != WIRE_OK) {
    if (reader.fault() == FrameReader::FAULT_SHORT_FIRST) {
      printf("client read: Message length data missing (received %d)\n", reader.frame_length());
      fflush(stdout);
    }
    return -1;
  }
  int32_t total = reader.announced();
  if (total > bufsize) {
    if (!big || !bigsize) {
      printf("client read: Message too big (len %d / buffersize = %d)\n", total, bufsize);
      fflush(stdout);
      return -1;
    }
    if (total > WIRE_MSG_LIMIT) return -1;
  }
  if (wire_read(fd, reader) != WIRE_OK) return -1;
  if (total <= bufsize) {
    if (total > 0) memcpy(buf, reader.data(), static_cast<size_t>(total));
    if (big && bigsize) {
      *big = nullptr;
      *bigsize = -1;
    }
  } else {
    *big = reader.release();
    *bigsize = total;
  }
  return total;
}
