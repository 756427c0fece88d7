// The data directory lock of korvald.  See datadir.h.
#include "server/datadir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

KvDataDir::~KvDataDir() {
  if (fd_ < 0) return;
  // removed while still locked: see lock() for why a waiting starter
  // cannot be fooled by this
  unlink(file_.c_str());
  close(fd_);
}

// Creates every missing component of path; *created gets those it made.
static bool make_dirs(const std::string &path, std::vector<std::string> *created,
                      std::string *err) {
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    std::string part = path.substr(0, pos);
    if (part.empty()) continue;
    if (mkdir(part.c_str(), 0755) == 0) {
      created->push_back(part);
    } else if (errno != EEXIST) {
      *err = "Cannot create " + part + ": " + strerror(errno);
      return false;
    }
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *err = path + " is not a directory";
    return false;
  }
  return true;
}

// The pid the holder wrote into the lock file, or "".
static std::string holder_pid(int fd) {
  char buf[32];
  ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
  std::string pid;
  for (ssize_t i = 0; i < n && buf[i] >= '0' && buf[i] <= '9'; i++) pid += buf[i];
  return pid;
}

// A holder removes the lock file when it ends, so a starter may lock a file
// that is no longer in the directory; it then checks that the path still
// names the locked file and otherwise starts over with the new one.
bool KvDataDir::lock(const std::string &dir, std::string *err) {
  if (!make_dirs(dir, &created_dirs_, err)) {
    remove_dirs();
    return false;
  }
  std::string file = dir + "/" + KV_LOCK_FILE;
  for (int attempt = 0; attempt < 100; attempt++) {
    int fd = open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool created = fd >= 0;
    if (!created && errno == EEXIST) fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) continue;  // removed between the two opens
      *err = "Cannot open " + file + ": " + strerror(errno);
      break;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int e = errno;
      std::string pid = holder_pid(fd);
      close(fd);
      if (e == EWOULDBLOCK) {
        *err = "The data directory " + dir + " is in use by another korvald" +
               (pid.empty() ? "" : " (pid " + pid + ")");
      } else {
        *err = "Cannot lock " + file + ": " + strerror(e);
      }
      break;
    }
    struct stat held, named;
    if (fstat(fd, &held) != 0 || stat(file.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
      close(fd);
      continue;
    }
    fd_ = fd;
    file_ = file;
    created_file_ = created;
    // the pid only makes the refusal of a second server more helpful, so
    // a failure to write it does not matter
    std::string pid = std::to_string(getpid()) + "\n";
    bool written = ftruncate(fd, 0) == 0 && pwrite(fd, pid.data(), pid.size(), 0) > 0;
    (void)written;
    return true;
  }
  if (err->empty()) *err = "Cannot lock " + file;
  remove_dirs();
  return false;
}

void KvDataDir::undo() {
  if (fd_ >= 0) {
    if (created_file_) unlink(file_.c_str());
    close(fd_);
    fd_ = -1;
  }
  remove_dirs();
}

void KvDataDir::remove_dirs() {
  for (auto it = created_dirs_.rbegin(); it != created_dirs_.rend(); ++it) rmdir(it->c_str());
  created_dirs_.clear();
}
