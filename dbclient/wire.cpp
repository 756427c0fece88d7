// Message framing of the KORVAL protocol: padding by size class, cutting a
// message into frames on sending and putting it back together on receipt.
// Used by the connection layer of the client library and by the server.
#include "dbclient/wire.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "base/mem.h"

const SockSize sock_sizes[3] = {{0, 1999}, {2000, 3800}, {6000, 10000}};

int wire_pad(int n, int start_class)
{
    for (int c = start_class - 1; c < 3; c++) {
        if (c < 0)
            continue;
        if (sock_sizes[c].max >= n)
            return n < sock_sizes[c].min ? sock_sizes[c].min : n;
    }
    return n;
}

void wire_put32(char *p, int32_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    p[0] = static_cast<char>(u & 0xff);
    p[1] = static_cast<char>((u >> 8) & 0xff);
    p[2] = static_cast<char>((u >> 16) & 0xff);
    p[3] = static_cast<char>((u >> 24) & 0xff);
}

int32_t wire_get32(const char *p)
{
    const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
    return static_cast<int32_t>(static_cast<uint32_t>(u[0]) | (static_cast<uint32_t>(u[1]) << 8) |
                                (static_cast<uint32_t>(u[2]) << 16) |
                                (static_cast<uint32_t>(u[3]) << 24));
}

namespace {

// Walks the frames of one message and hands each to a sink as one piece.
// The frame layout lives only here, so that the encoder and the sender
// cannot disagree.
template <class Sink>
bool for_each_frame(const char *msg, int len, char *frame, Sink sink)
{
    int padded = wire_pad(len, 1);
    if (padded <= WIRE_FRAME_MAX) {
        wire_put32(frame, padded + 8);
        wire_put32(frame + 4, len);
        if (len > 0)
            memcpy(frame + 8, msg, len);
        memset(frame + 8 + len, 0, padded - len);
        return sink(frame, padded + 8);
    }
    wire_put32(frame, WIRE_FRAME_MAX);
    wire_put32(frame + 4, len);
    memcpy(frame + 8, msg, WIRE_FIRST_DATA);
    if (!sink(frame, WIRE_FRAME_MAX))
        return false;
    int pos = WIRE_FIRST_DATA;
    while (pos < len) {
        if (pos + WIRE_CONT_DATA <= len) {
            wire_put32(frame, WIRE_FRAME_MAX);
            memcpy(frame + 4, msg + pos, WIRE_CONT_DATA);
            if (!sink(frame, WIRE_FRAME_MAX))
                return false;
            pos += WIRE_CONT_DATA;
        } else {
            int rest = len - pos;
            int flen = wire_pad(rest + 4, 2);
            wire_put32(frame, flen);
            memcpy(frame + 4, msg + pos, rest);
            memset(frame + 4 + rest, 0, flen - 4 - rest);
            if (!sink(frame, flen))
                return false;
            pos = len;
        }
    }
    return true;
}

bool write_all(int fd, const char *p, size_t n)
{
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == ENOTSOCK)
            w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Reads exactly n bytes.  Returns n, 0 for end of input before the first
// byte, -1 for an error or end of input after some bytes.
ssize_t read_exact(int fd, char *p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, p + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return (r == 0 && got == 0) ? 0 : -1;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

// Reads one frame into frame (WIRE_FRAME_BUF bytes).  Returns the frame
// length, 0 for end of input before the frame, -1 on error or a frame
// length of 0 or less or above WIRE_FRAME_BUF.  A frame length of 1 to 3 is
// returned as it is (its 4-byte length word is all that is read): no frame
// can be that short, and the callers refuse it.
int read_frame(int fd, char *frame)
{
    ssize_t r = read_exact(fd, frame, 4);
    if (r <= 0)
        return static_cast<int>(r);
    int32_t flen = wire_get32(frame);
    if (flen <= 0 || flen > WIRE_FRAME_BUF)
        return -1;
    if (flen < 4)
        return flen;
    if (read_exact(fd, frame + 4, flen - 4) != flen - 4)
        return -1;
    return flen;
}

// Receives the rest of a message whose first frame is in frame: copies the
// message bytes into dest (total bytes) and reads further frames as needed.
bool collect(int fd, char *frame, int flen, char *dest, int32_t total)
{
    int32_t have = flen - 8;
    if (have > total)
        have = total;
    if (have > 0)
        memcpy(dest, frame + 8, have);
    while (have < total) {
        int f = read_frame(fd, frame);
        if (f < 4)
            return false;
        int32_t take = f - 4;
        if (take > total - have)
            take = total - have;
        memcpy(dest + have, frame + 4, take);
        have += take;
    }
    return true;
}

}  // namespace

std::vector<char> wire_encode(const char *msg, int len)
{
    std::vector<char> out;
    if (len < 0)
        return out;
    char frame[WIRE_FRAME_BUF];
    for_each_frame(msg, len, frame, [&out](const char *p, int n) {
        out.insert(out.end(), p, p + n);
        return true;
    });
    return out;
}

int wire_decode(const char *data, size_t n, std::vector<char> &out, size_t *used)
{
    out.clear();
    if (n == 0)
        return WIRE_CLOSED;
    if (n < 8)
        return WIRE_ERROR;
    int32_t flen = wire_get32(data);
    int32_t total = wire_get32(data + 4);
    if (flen < 8 || flen > WIRE_FRAME_BUF || static_cast<size_t>(flen) > n || total < 0 ||
        total > WIRE_MSG_LIMIT)
        return WIRE_ERROR;
    size_t pos = static_cast<size_t>(flen);
    int32_t take = flen - 8 < total ? flen - 8 : total;
    // The announced length is the peer's word: reserve no more than the
    // input can hold, so a bare header cannot make us allocate 256 MiB.
    out.reserve(std::min(static_cast<size_t>(total), n));
    out.insert(out.end(), data + 8, data + 8 + take);
    while (static_cast<int32_t>(out.size()) < total) {
        if (n - pos < 4)
            return WIRE_ERROR;
        int32_t f = wire_get32(data + pos);
        if (f < 4 || f > WIRE_FRAME_BUF || static_cast<size_t>(f) > n - pos)
            return WIRE_ERROR;
        int32_t want = total - static_cast<int32_t>(out.size());
        int32_t t = f - 4 < want ? f - 4 : want;
        out.insert(out.end(), data + pos + 4, data + pos + 4 + t);
        pos += static_cast<size_t>(f);
    }
    if (used)
        *used = pos;
    return WIRE_OK;
}

int wire_send_message(int fd, const char *msg, int len)
{
    if (len < 0)
        return 0;
    char frame[WIRE_FRAME_BUF];
    return for_each_frame(msg, len, frame,
                          [fd](const char *p, int n) { return write_all(fd, p, n); })
               ? 1
               : 0;
}

int wire_recv_message(int fd, std::vector<char> &out)
{
    out.clear();
    char frame[WIRE_FRAME_BUF];
    int flen = read_frame(fd, frame);
    if (flen == 0)
        return WIRE_CLOSED;
    if (flen < 8)
        return WIRE_ERROR;
    int32_t total = wire_get32(frame + 4);
    if (total < 0 || total > WIRE_MSG_LIMIT)
        return WIRE_ERROR;
    out.resize(static_cast<size_t>(total));
    if (!collect(fd, frame, flen, out.data(), total)) {
        out.clear();
        return WIRE_ERROR;
    }
    return WIRE_OK;
}

int wire_recv(int fd, char *buf, int bufsize, char **big, int *bigsize)
{
    char frame[WIRE_FRAME_BUF];
    int flen = read_frame(fd, frame);
    if (flen <= 0)
        return -1;
    if (flen < 8) {
        printf("client read: Message length data missing (received %d)\n", flen);
        fflush(stdout);
        return -1;
    }
    int32_t total = wire_get32(frame + 4);
    if (total < 0)
        return -1;
    char *dest;
    bool allocated = false;
    if (total <= bufsize) {
        dest = buf;
        if (big && bigsize) {
            *big = nullptr;
            *bigsize = -1;
        }
    } else if (big && bigsize) {
        if (total > WIRE_MSG_LIMIT)
            return -1;
        dest = static_cast<char *>(xmalloc(total > 0 ? total : 1));
        allocated = true;
    } else {
        printf("client read: Message too big (len %d / buffersize = %d)\n", total, bufsize);
        fflush(stdout);
        return -1;
    }
    if (!collect(fd, frame, flen, dest, total)) {
        if (allocated)
            xfree(dest);
        return -1;
    }
    if (allocated) {
        *big = dest;
        *bigsize = total;
    }
    return total;
}
