// The hold of one korvald on its data directory: the directory is created
// when missing, and an exclusive lock on the file "korvald.lock" inside it
// is kept for the server's whole life, so that a second korvald on the
// same directory refuses to start instead of serving (and dropping) the
// same database files.  The lock belongs to the open file, so the kernel
// releases it when the process ends in any way; a lock file left behind by
// a killed server does not block the next start.  KvServer (server.cpp)
// owns one KvDataDir.
#ifndef SERVER_DATADIR_H
#define SERVER_DATADIR_H

#include <string>
#include <vector>

// The lock file inside the data directory; it holds the owner's pid.
constexpr const char *KV_LOCK_FILE = "korvald.lock";

class KvDataDir {
 public:
  KvDataDir() = default;
  // Releases the lock and removes the lock file.
  ~KvDataDir();
  KvDataDir(const KvDataDir &) = delete;
  KvDataDir &operator=(const KvDataDir &) = delete;

  // Creates the directory dir (and missing parents) and takes the lock.
  // Returns false with a message in *err, naming the holder's pid when
  // another process has the lock; a failed call leaves nothing behind that
  // it created.  Call it once.
  bool lock(const std::string &dir, std::string *err);
  // Undoes a successful lock() after a failed start: releases the lock and
  // removes the lock file and the directories, but only those that lock()
  // created (a directory that is not empty stays).
  void undo();

 private:
  void remove_dirs();

  std::string file_;
  int fd_ = -1;
  bool created_file_ = false;
  std::vector<std::string> created_dirs_;  // outermost first
};

#endif
