// File and text utilities: thin layers over the system's file calls with the
// open modes and messages the dialogs rely on, the chunked whole-file read,
// the replace-by-rename whole-file write shared with the ini store, the
// suffix rule and case conversion.  Part of the base library.
#include "base/files.h"

#include "base/mem.h"
#include "base/msglog.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const size_t kChunk = 10000;

// Writes all len bytes to fd; false on any error.
bool write_all(int fd, const char *data, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

int write_direct(const char *path, const char *data, size_t len) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return FILE_REPLACE_NOFILE;
  bool ok = write_all(fd, data, len);
  if (close(fd) != 0) ok = false;
  return ok ? FILE_REPLACE_OK : FILE_REPLACE_FAILED;
}

void sync_directory_of(const std::string &path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace

int File_Replace(const char *path, const char *data, size_t len) {
  std::string target = path;
  struct stat st;
  if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
    char *real = realpath(path, nullptr);
    if (!real) return write_direct(path, data, len);  // dangling link
    target = real;
    free(real);
  }
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return write_direct(target.c_str(), data, len);
  if (exists) {
    // Renaming would replace even a file the user may not write; the file
    // must be writable in place, exactly as for a plain overwrite.
    int probe = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0) return FILE_REPLACE_NOFILE;
    close(probe);
  }

  // The new file sits beside the target so that rename stays within one
  // file system; a very long file name is shortened so the name still fits.
  size_t slash = target.rfind('/');
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  std::string tmp = target.substr(0, base + 200) + ".XXXXXX";
  int fd = mkstemp(&tmp[0]);
  if (fd < 0) return FILE_REPLACE_NOTEMP;
  if (exists) {
    fchmod(fd, st.st_mode & 07777);
    if (fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Only root may hand the file to another owner; the content matters more.
    }
  } else {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  bool ok = write_all(fd, data, len) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok && rename(tmp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    unlink(tmp.c_str());
    return FILE_REPLACE_FAILED;
  }
  sync_directory_of(target);
  return FILE_REPLACE_OK;
}

int File_Exists(const char *path) {
  struct stat st;
  return path && stat(path, &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
}

int exists_file(const char *path) { return File_Exists(path); }

FILE *File_Read_Open(const char *path) {
  FILE *fp = fopen(path, "rb");
  if (!fp) Log_Msg("(myio) Cannot open file '%s' for input!\n", path);
  return fp;
}

FILE *File_Write_Open(const char *path) {
  FILE *fp = fopen(path, "wb");
  if (!fp) Log_Msg("(myio) Cannot open file '%s' for output!\n", path);
  return fp;
}

FILE *File_Append_Open(const char *path) {
  FILE *fp = fopen(path, "ab");
  if (!fp) Log_Msg("(myio) Cannot open file '%s' for output!\n", path);
  return fp;
}

int File_Write(FILE *fp, const char *text) {
  if (!fp || !text) return 0;
  size_t n = strlen(text);
  return fwrite(text, 1, n, fp) == n ? 1 : 0;
}

int File_Close(FILE *fp) {
  if (!fp) return 0;
  return fclose(fp) == 0 ? 1 : 0;
}

int File_Contents(const char *path, const char *text) {
  switch (File_Replace(path, text, strlen(text))) {
    case FILE_REPLACE_OK: return 1;
    case FILE_REPLACE_NOFILE:
    case FILE_REPLACE_NOTEMP: Log_Msg("(myio) Cannot open file '%s' for output!\n", path); return 0;
    default: Log_Msg("(myio) Cannot write file '%s'!\n", path); return 0;
  }
}

int File_Add_Contents(const char *path, const char *text) {
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT, 0666);
  if (fd < 0) {
    Log_Msg("(myio) Cannot open file '%s' for output!\n", path);
    return 0;
  }
  struct stat st;
  bool known = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bool ok = write_all(fd, text, strlen(text));
  if (!ok && known && ftruncate(fd, st.st_size) != 0) {
    // The partial tail cannot be removed; the failure is reported below.
  }
  if (close(fd) != 0) ok = false;
  if (!ok) Log_Msg("(myio) Cannot write file '%s'!\n", path);
  return ok ? 1 : 0;
}

char *File_Get_Contents(const char *path) {
  FILE *fp = File_Read_Open(path);
  if (!fp) return nullptr;
  // The block starts with room for one chunk and its terminator and grows by
  // one chunk whenever the next read could overflow it.
  size_t cap = kChunk + 1, len = 0;
  char *buf = static_cast<char *>(mymalloc(cap));
  for (;;) {
    if (cap - len < kChunk + 1) {
      cap += kChunk;
      buf = static_cast<char *>(myrealloc(buf, cap));
    }
    size_t got = fread(buf + len, 1, kChunk, fp);
    len += got;
    if (got == 0) break;
  }
  bool failed = ferror(fp) != 0;
  fclose(fp);
  if (failed) {
    myfree(buf);
    Log_Msg("(myio) Cannot read file '%s'!\n", path);
    return nullptr;
  }
  buf[len] = '\0';
  return static_cast<char *>(myrealloc(buf, strlen(buf) + 1));
}

int del_file(const char *path) { return remove(path) == 0 ? 1 : 0; }

static char *convert_case(const char *text, int (*conv)(int)) {
  if (!text) return nullptr;
  size_t n = strlen(text);
  char *out = static_cast<char *>(mymalloc(n + 1));
  for (size_t i = 0; i < n; i++)
    out[i] = static_cast<char>(conv(static_cast<unsigned char>(text[i])));
  out[n] = '\0';
  return out;
}

char *Up(const char *text) { return convert_case(text, toupper); }
char *Low(const char *text) { return convert_case(text, tolower); }

int digit(int c) { return c >= '0' && c <= '9'; }
int letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
int ndigit(int c) { return digit(c) || letter(c) || c == '_'; }

char *setsuffix(const char *name, const char *suffix) {
  if (!name) return nullptr;
  if (!suffix) suffix = "";
  std::string n(name, strnlen(name, 999));
  size_t slash = n.rfind('/');
  size_t from = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = n.rfind('.');
  if (dot != std::string::npos && dot >= from) {
    if (n.compare(dot + 1, std::string::npos, suffix) == 0) return mystrdup(n.c_str());
    n.resize(dot);
  }
  n += '.';
  n += suffix;
  return mystrdup(n.c_str());
}
