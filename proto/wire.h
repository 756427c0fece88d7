// Message framing of the KORVAL protocol, shared by the client library and
// the server.  A message (a request or a reply) travels as one or more
// frames: a single frame holds up to 10000 message bytes after an 8-byte
// header (frame length, message length); a longer message is a first frame
// of 10000 bytes, continuation frames of 10000 bytes and a padded last frame.
// Lengths are padded up to the size classes of `sock_sizes`.  All integers
// are little-endian.  The functions keep no state and may be used from
// several threads at once on different sockets.
#ifndef PROTO_WIRE_H
#define PROTO_WIRE_H

#include <cstddef>
#include <cstdint>
#include <vector>

// One size class: a length up to max is raised to at least min.
struct SockSize {
  int min;
  int max;
};
extern const SockSize sock_sizes[3];

constexpr int WIRE_FRAME_MAX = 10000;  // longest frame of a multi-frame message
constexpr int WIRE_FRAME_BUF = 10008;  // longest frame at all (single frame of 10000)
constexpr int WIRE_FIRST_DATA = 9992;  // message bytes in a first frame
constexpr int WIRE_CONT_DATA = 9996;   // message bytes in a continuation frame
constexpr int32_t WIRE_MSG_LIMIT = 256 * 1024 * 1024;  // larger announced lengths are refused

// The server's TCP port when the services database has no "KORVAL"/"tcp".
constexpr int DB_DEFAULT_PORT = 12453;

// Pads length n starting at size class start_class (1, 2 or 3; nothing
// else): the first
// class whose maximum is at least n raises n to its minimum.  A length above
// every class maximum comes back unchanged.
int wire_pad(int n, int start_class);

// The 32-bit words of the frame headers (proto/endian.h).
void wire_put32(char *p, int32_t v);
int32_t wire_get32(const char *p);

// The complete byte stream (all frames, padding bytes zero) that sends the
// len bytes at msg.  len must be 0 or more.
std::vector<char> wire_encode(const char *msg, int len);

// Reassembles one framed message from bytes as they arrive; the one reader
// of framed messages, used by the client library, the server and the tests.
// Feed it any pieces; it takes bytes only up to the end of the message, so
// whatever follows stays with the caller.  The message grows with the
// bytes that arrived: an announced length alone allocates nothing (past a
// megabyte received, the rest of the announced length is reserved as
// address space, which costs memory only as it is written).
class FrameReader {
 public:
  // (Not "Status": Xlib defines that name as a macro.)
  enum Progress { NEED_MORE, COMPLETE, MALFORMED };
  // What made the input malformed.
  enum Fault {
    FAULT_NONE,
    FAULT_FRAME_LENGTH,  // a frame length of 0 or less or above WIRE_FRAME_BUF
                         // (also 1 to 3 in a continuation frame)
    FAULT_SHORT_FIRST,   // a first frame of 1 to 7 bytes: no message length
    FAULT_LENGTH,        // a message length below 0 or above the limit
  };

  // limit: the longest message accepted (WIRE_MSG_LIMIT by default).
  explicit FrameReader(int32_t limit = WIRE_MSG_LIMIT);
  ~FrameReader();
  FrameReader(const FrameReader &) = delete;
  FrameReader &operator=(const FrameReader &) = delete;

  // Takes bytes from data[0..n) and returns the status; *used (if not null)
  // is the number of bytes taken (all of them unless the message ended or
  // the input turned malformed first).  After COMPLETE or MALFORMED further
  // calls take nothing until reset.
  Progress feed(const char *data, size_t n, size_t *used);
  // How many bytes a socket reader may read at once without reading past
  // the message, whatever the frames of the rest are like (at least 1;
  // 0 once finished).
  size_t wanted() const;
  Progress status() const { return status_; }
  Fault fault() const { return fault_; }
  // Some byte of the message has been taken.
  bool started() const { return part_ != FIRST_LEN || word_have_ > 0 || status_ != NEED_MORE; }
  // The first frame's length word once it has arrived (else 0).
  int32_t frame_length() const { return first_flen_; }
  // The announced message length once the first header has arrived, else -1.
  int32_t announced() const { return total_; }
  // The message bytes received so far (all of it after COMPLETE); they
  // belong to the reader until release or reset.
  const char *data() const { return buf_; }
  int32_t size() const { return have_; }
  // The bytes allocated for the message so far.
  int32_t capacity() const { return cap_; }
  // Hands the message block to the caller, who frees it with xfree; the
  // reader is reset.  The block is never null (1 byte for an empty message).
  char *release();
  // Starts over for the next message (keeps the limit).
  void reset();

 private:
  bool take_payload(const char *p, size_t n);
  enum Part { FIRST_LEN, FIRST_TOTAL, FIRST_BODY, CONT_LEN, CONT_BODY };
  int32_t limit_;
  Progress status_ = NEED_MORE;
  Fault fault_ = FAULT_NONE;
  Part part_ = FIRST_LEN;
  char word_[4];
  int word_have_ = 0;
  int32_t first_flen_ = 0;
  int32_t total_ = -1;
  int32_t body_left_ = 0;  // bytes of the current frame body still to come
  char *buf_ = nullptr;
  int32_t cap_ = 0;
  int32_t have_ = 0;
};

// Asks the kernel to back the whole 2 MiB pages inside the size bytes at
// block with huge pages (a hint; nothing happens where they are not
// available).  For large message buffers, which are written once from
// start to end: fewer page faults.
void advise_huge(void *block, size_t size);

// Results of wire_decode and wire_recv_message.
enum WireStatus {
  WIRE_OK = 1,      // a message was delivered
  WIRE_CLOSED = 0,  // end of input before the first byte of a message
  WIRE_ERROR = -1,  // read error, end of input inside a message, or a malformed frame
};

// Decodes one message from the first n bytes of data with a FrameReader (no
// I/O).  On WIRE_OK out holds the message and *used (if not null) the bytes of
// data taken, padding included.  WIRE_CLOSED when n is 0; WIRE_ERROR when data
// ends inside the message or a frame is malformed: a frame length below its
// header, above WIRE_FRAME_BUF, or a message length that is negative or above
// WIRE_MSG_LIMIT.
int wire_decode(const char *data, size_t n, std::vector<char> &out, size_t *used);

// Sends len bytes at msg as one framed message on fd (blocking; retries
// partial writes and EINTR; never raises SIGPIPE on a socket).
// Returns 1 when every frame went out, 0 on any write failure or len < 0.
int wire_send_message(int fd, const char *msg, int len);

// Reads from fd into reader until its message is complete or malformed
// (blocking; retries EINTR; never reads past the message).  Returns
// WIRE_OK, WIRE_CLOSED (the peer closed before the first byte) or WIRE_ERROR
// (read failure, end of input inside the message, malformed frame).  When
// stop_after_header is set, returns WIRE_OK as soon as the message length is
// known (reader.announced() >= 0), so the caller can decide before the body.
int wire_read(int fd, FrameReader &reader, bool stop_after_header = false);

// Receives one framed message from fd into out (resized to the message
// length) with the given limit.  Reads exactly the bytes of the message's
// frames, never more.  Returns WIRE_OK, WIRE_CLOSED (peer closed between
// messages) or WIRE_ERROR (read failure, end of input inside a message,
// malformed frame).
int wire_recv_message(int fd, std::vector<char> &out, int32_t limit = WIRE_MSG_LIMIT);

// Receives one framed message the way the client library does: into buf
// (bufsize bytes) when it fits, else, when big and bigsize are given, into a
// block allocated with xmalloc that is stored in *big (size in *bigsize) and
// belongs to the caller; when it fits, *big becomes null and *bigsize -1.
// Returns the message length (0 or more), or -1 on failure: read error or end
// of input, a malformed frame as for wire_decode, or a message larger than
// bufsize when no big buffer may be used ("client read: Message too big ..."
// on standard output, whatever the length; the rest of the message is left
// unread).  A first frame of 1 to 7 bytes prints "client read: Message length
// data missing ..."; a frame length of 0 or less fails silently.
int wire_recv(int fd, char *buf, int bufsize, char **big, int *bigsize);

#endif
