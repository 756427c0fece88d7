// Message framing of the KORVAL protocol: padding by size class, cutting a
// message into frames on sending and putting it back together on receipt.
// Used by the connection layer of the client library and by the server.
#include "proto/wire.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/uio.h>
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

// One frame of a message: its header (8 bytes in a first frame, 4 in a
// continuation frame), the message bytes it carries and the zero bytes
// that pad it.
struct Frame {
  char head[8];
  int head_len;
  const char *data;
  int data_len;
  int pad;
};

// Walks the frames of one message and hands each to a sink.  The frame
// layout lives only here, so that the encoder and the sender cannot
// disagree.
template <class Sink>
bool for_each_frame(const char *msg, int len, Sink sink) {
  Frame f;
  int padded = wire_pad(len, 1);
  if (padded <= WIRE_FRAME_MAX) {
    wire_put32(f.head, padded + 8);
    wire_put32(f.head + 4, len);
    f.head_len = 8;
    f.data = msg;
    f.data_len = len;
    f.pad = padded - len;
    return sink(f);
  }
  wire_put32(f.head, WIRE_FRAME_MAX);
  wire_put32(f.head + 4, len);
  f.head_len = 8;
  f.data = msg;
  f.data_len = WIRE_FIRST_DATA;
  f.pad = 0;
  if (!sink(f)) return false;
  f.head_len = 4;
  for (int pos = WIRE_FIRST_DATA; pos < len; pos += f.data_len) {
    f.data = msg + pos;
    if (pos + WIRE_CONT_DATA <= len) {
      wire_put32(f.head, WIRE_FRAME_MAX);
      f.data_len = WIRE_CONT_DATA;
      f.pad = 0;
    } else {
      f.data_len = len - pos;
      int flen = wire_pad(f.data_len + 4, 2);
      wire_put32(f.head, flen);
      f.pad = flen - 4 - f.data_len;
    }
    if (!sink(f)) return false;
  }
  return true;
}

// Zero bytes for the padding of a frame.
const char kZeros[WIRE_FRAME_MAX] = {};

// Writes the n pieces at v (advanced over partial writes).  false on any
// failure.
bool write_pieces(int fd, iovec *v, int n) {
  while (n > 0) {
    msghdr mh{};
    mh.msg_iov = v;
    mh.msg_iovlen = static_cast<size_t>(n);
    ssize_t w = sendmsg(fd, &mh, MSG_NOSIGNAL);
    if (w < 0 && errno == ENOTSOCK) w = writev(fd, v, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    size_t done = static_cast<size_t>(w);
    while (n > 0 && done >= v->iov_len) {
      done -= v->iov_len;
      v++;
      n--;
    }
    if (n > 0) {
      v->iov_base = static_cast<char *>(v->iov_base) + done;
      v->iov_len -= done;
    }
  }
  return true;
}

}  // namespace

void advise_huge(void *block, size_t size) {
  const uintptr_t huge = uintptr_t{2} << 20;
  uintptr_t from = (reinterpret_cast<uintptr_t>(block) + huge - 1) & ~(huge - 1);
  uintptr_t to = (reinterpret_cast<uintptr_t>(block) + size) & ~(huge - 1);
  if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
}

std::vector<char> wire_encode(const char *msg, int len) {
  std::vector<char> out;
  if (len < 0) return out;
  for_each_frame(msg, len, [&out](const Frame &f) {
    out.insert(out.end(), f.head, f.head + f.head_len);
    if (f.data_len > 0) out.insert(out.end(), f.data, f.data + f.data_len);
    out.insert(out.end(), static_cast<size_t>(f.pad), '\0');
    return true;
  });
  return out;
}

// The message is not copied: the headers of a batch of frames are kept in
// a small array, and each batch goes out with one sendmsg of headers,
// slices of msg and padding.
int wire_send_message(int fd, const char *msg, int len) {
  if (len < 0) return 0;
  constexpr int kBatch = 256;  // frames per system call
  char heads[kBatch][8];
  iovec iov[3 * kBatch];
  int frames = 0, pieces = 0;
  auto flush = [&]() {
    bool ok = write_pieces(fd, iov, pieces);
    frames = pieces = 0;
    return ok;
  };
  bool ok = for_each_frame(msg, len, [&](const Frame &f) {
    char *h = heads[frames++];
    memcpy(h, f.head, static_cast<size_t>(f.head_len));
    iov[pieces++] = {h, static_cast<size_t>(f.head_len)};
    if (f.data_len > 0)
      iov[pieces++] = {const_cast<char *>(f.data), static_cast<size_t>(f.data_len)};
    if (f.pad > 0) iov[pieces++] = {const_cast<char *>(kZeros), static_cast<size_t>(f.pad)};
    return frames < kBatch || flush();
  });
  return ok && flush() ? 1 : 0;
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

// The bytes every valid layout of the rest of the message still has: the
// rest of the current frame element, and for the message bytes beyond the
// current body at least one continuation frame per WIRE_CONT_DATA of them.
// A reader that reads no more than this never reads past the message,
// however the sender cut it into frames, and with the frames korvald and
// wire_send_message make it reads all but the last frame's padding at once.
size_t FrameReader::wanted() const {
  if (status_ != NEED_MORE) return 0;
  auto frames_for = [](int64_t bytes) { return (bytes + WIRE_CONT_DATA - 1) / WIRE_CONT_DATA; };
  switch (part_) {
    case FIRST_LEN: return static_cast<size_t>(4 - word_have_);
    // the first frame's body belongs to the message whatever its length
    case FIRST_TOTAL: return static_cast<size_t>(4 - word_have_ + first_flen_ - 8);
    case CONT_LEN: {
      int64_t rest = int64_t{total_} - have_;
      return static_cast<size_t>(4 - word_have_ + rest + 4 * (frames_for(rest) - 1));
    }
    default: {
      int64_t after = int64_t{total_} - have_ - std::min(body_left_, total_ - have_);
      return static_cast<size_t>(body_left_ + after + 4 * frames_for(after));
    }
  }
}

// Appends message bytes, growing the block by doubling up to the announced
// length; true once the message is complete.  Once a megabyte has arrived
// the block is made as large as the whole message at once: until written
// that is address space only, the message is not copied again, and huge
// pages spare most of the page faults of filling it.
bool FrameReader::take_payload(const char *p, size_t n) {
  int32_t want = total_ - have_;
  int32_t take = static_cast<int32_t>(std::min<size_t>(n, static_cast<size_t>(want)));
  if (take > 0) {
    if (have_ + take > cap_) {
      constexpr int32_t kLarge = 1 << 20;
      int64_t cap = std::max<int64_t>(cap_ * int64_t{2}, 16384);
      if (cap_ >= kLarge) cap = total_;
      cap = std::min<int64_t>(std::max<int64_t>(cap, have_ + take), total_);
      buf_ = static_cast<char *>(xrealloc(buf_, static_cast<size_t>(cap)));
      cap_ = static_cast<int32_t>(cap);
      if (cap_ == total_ && cap_ > kLarge) advise_huge(buf_, static_cast<size_t>(cap_));
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
  char chunk[64 * 1024];
  while (reader.status() == FrameReader::NEED_MORE) {
    if (stop_after_header && reader.announced() >= 0) return WIRE_OK;
    size_t want = std::min(reader.wanted(), sizeof chunk);
    // the header word by word, so that nothing of the body is read yet
    if (stop_after_header) want = std::min<size_t>(want, 4);
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
