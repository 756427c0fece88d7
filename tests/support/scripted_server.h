// A scripted stand-in for the KORVAL server, used only by the tests of the
// connection and session layers: it listens on a loopback port, records every
// request it receives and answers through a replaceable rule.  The default
// rule accepts open/create/drop (except the database names "BADDB" and ""),
// answers nothing to disconnect and stop, and '1' to every statement.
#ifndef TESTS_SUPPORT_SCRIPTED_SERVER_H
#define TESTS_SUPPORT_SCRIPTED_SERVER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "proto/wire.h"

struct ScriptedReply {
  bool send = true;
  bool hang_up = false;  // close the connection after (or instead of) sending
  std::vector<char> bytes;
};

class ScriptedServer {
 public:
  using Rule = std::function<ScriptedReply(const std::vector<char> &request)>;

  // Listens on port (0: any free port).
  explicit ScriptedServer(int port = 0) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ok_ = bind(listener_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
          listen(listener_, 8) == 0;
    socklen_t len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    rule_ = default_rule;
    acceptor_ = std::thread([this]() { accept_loop(); });
  }

  ~ScriptedServer() { stop(); }

  bool ok() const { return ok_; }
  int port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }

  void set_rule(Rule rule) {
    std::lock_guard<std::mutex> lock(mutex_);
    rule_ = std::move(rule);
  }

  std::vector<std::vector<char>> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

  // Waits until at least n requests have arrived (false after a generous
  // guard of 20 s, which only a broken test reaches).
  bool wait_requests(size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::seconds(20),
                             [&]() { return requests_.size() >= n; });
  }

  // First bytes of the requests, as a string (one character per request).
  std::string codes() {
    std::string s;
    for (const auto &r : requests()) s += r.empty() ? '?' : r[0];
    return s;
  }

  // Closes the listener and every connection and waits for the threads.
  void stop() {
    if (stopped_.exchange(true)) return;
    shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    close(listener_);
    std::vector<std::thread> workers;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (int fd : conns_) shutdown(fd, SHUT_RDWR);
      workers.swap(workers_);
    }
    for (auto &t : workers) t.join();
  }

  static ScriptedReply reply_of(std::initializer_list<char> bytes) {
    ScriptedReply r;
    r.bytes.assign(bytes);
    return r;
  }

  static ScriptedReply error_reply(const char *text) {
    ScriptedReply r;
    r.bytes.push_back('0');
    r.bytes.push_back('b');
    uint16_t n = static_cast<uint16_t>(strlen(text) + 1);
    r.bytes.push_back(static_cast<char>(n & 0xff));
    r.bytes.push_back(static_cast<char>(n >> 8));
    r.bytes.insert(r.bytes.end(), text, text + n);
    return r;
  }

  // The name of an open/create/drop request ('a', length, text).
  static std::string request_name(const std::vector<char> &req) {
    if (req.size() < 5 || req[1] != 'a') return "?";
    return std::string(req.data() + 4);
  }

  static ScriptedReply default_rule(const std::vector<char> &req) {
    if (req.empty()) return error_reply("empty request");
    switch (req[0]) {
      case '1':
      case '3':
      case '4': {
        std::string name = request_name(req);
        if (name == "BADDB" || name.empty()) return error_reply("Database not found");
        return reply_of({'1'});
      }
      case '2':
      case 'W': {
        ScriptedReply none;
        none.send = false;
        return none;
      }
      default: return reply_of({'1'});
    }
  }

 private:
  void accept_loop() {
    for (;;) {
      int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopped_) {
        close(fd);
        return;
      }
      conns_.push_back(fd);
      workers_.emplace_back([this, fd]() { serve(fd); });
    }
  }

  void serve(int fd) {
    std::vector<char> req;
    while (wire_recv_message(fd, req) == WIRE_OK) {
      Rule rule;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(req);
        rule = rule_;
      }
      arrived_.notify_all();
      ScriptedReply reply = rule(req);
      if (reply.send &&
          !wire_send_message(fd, reply.bytes.data(), static_cast<int>(reply.bytes.size())))
        break;
      if (reply.hang_up) break;
    }
    // Removed from the list before closing, so that stop() never shuts
    // down a reused descriptor number.
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < conns_.size(); i++)
      if (conns_[i] == fd) conns_.erase(conns_.begin() + static_cast<long>(i));
    close(fd);
  }

  int listener_ = -1;
  int port_ = 0;
  bool ok_ = false;
  std::atomic<bool> stopped_{false};
  std::mutex mutex_;
  std::condition_variable arrived_;
  Rule rule_;
  std::vector<std::vector<char>> requests_;
  std::vector<int> conns_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

#endif
