// The session record, the fatal ends and the signal handlers; see besrec.h.
#include "forms/besrec.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "base/mem.h"
#include "base/msglog.h"

BESREC *pBESREC = nullptr;
char _Def_String[DEF_STRING_LEN + 1];
int16_t _Def_Binary = 0;
MYCACHE *Cache_Tablecode = nullptr;
MYCACHE *Cache_Tabletext = nullptr;
MYCACHE *Cache_SVZTSelectLk = nullptr;

namespace {

void free_cache(MYCACHE *cache) {
  if (!cache) return;
  for (int i = 0; i < cache->capacity; i++) {
    myfree(cache->keys[i]);
    myfree(cache->values[i]);
  }
  myfree(cache->keys);
  myfree(cache->values);
  myfree(cache);
}

// A cache made anew for a repeated initialisation replaces the old one.
void remake_cache(MYCACHE **cache, int capacity) {
  free_cache(*cache);
  *cache = Make_MYCache(capacity);
}

// The session name: "prefix/db" as given (the pattern "%[^/]/%s" finds both
// parts), else the DBSYS prefix joined with "/" when the variable is set.
std::string session_name(const char *name) {
  std::string given = name ? name : "";
  size_t slash = given.find('/');
  bool both = slash != std::string::npos && slash > 0 &&
              given.find_first_not_of(" \t\n\r\f\v", slash + 1) != std::string::npos;
  const char *prefix = getenv("DBSYS");
  if (both || !prefix) return given;
  return std::string(prefix) + "/" + given;
}

[[noreturn]] void abort_with(const char *what) {
  Log_Msg("Abnormal termination (%s)\n", what);
  _exit(1);
}

}  // namespace

MYCACHE *Make_MYCache(int capacity) {
  MYCACHE *cache = static_cast<MYCACHE *>(mymalloc(sizeof(MYCACHE)));
  cache->capacity = capacity;
  cache->count = 0;
  cache->next = 0;
  cache->keys = static_cast<char **>(mymalloc(sizeof(char *) * capacity));
  cache->values = static_cast<char **>(mymalloc(sizeof(char *) * capacity));
  for (int i = 0; i < capacity; i++) cache->keys[i] = cache->values[i] = nullptr;
  return cache;
}

void randinit(int) {
  srand(static_cast<unsigned>(time(nullptr)) ^ static_cast<unsigned>(getpid()));
}

int BESREC_Init(BESREC **address, const char *name) {
  randinit(20);
  BESREC *rec = static_cast<BESREC *>(mymalloc(sizeof(BESREC)));
  *address = rec;
  rec->handle = nullptr;
  std::string full = session_name(name);
  int result = 0;
  if (full.size() >= BESREC_NAME_SIZE) {
    Log_Msg("(BESREC_Init) DB-name %s is too long (max. 19)\n", full.c_str());
    rec->dbname[0] = 0;
  } else {
    strcpy(rec->dbname, full.c_str());
    result = dbopen(&rec->handle, rec->dbname);
  }
  memcpy(rec->code, "D   ", 4);
  memset(_Def_String, ' ', DEF_STRING_LEN);
  _Def_String[DEF_STRING_LEN] = 0;
  _Def_Binary = 0;
  DATE_Set(&_Def_Date);
  TIME_Set(&_Def_Time);
  rec->state = 1;
  rec->work = static_cast<char *>(mymalloc(BESREC_WORK_SIZE));
  rec->array = ARRAY_New();
  rec->zero = 0;
  remake_cache(&Cache_Tablecode, 1000);
  remake_cache(&Cache_Tabletext, 1000);
  remake_cache(&Cache_SVZTSelectLk, 200);
  rec->def_date = _Def_Date;
  for (int32_t &c : rec->counters) c = 0;
  signal(SIGFPE, Abort_FPE);
  signal(SIGSEGV, Abort_SEGV);
  signal(SIGINT, Exit);
  signal(SIGTERM, Exit);
  signal(SIGBUS, Abort_BUS);
  signal(SIGPIPE, Abort_PIPE);
  signal(SIGQUIT, Exit);
  return result;
}

void BESREC_Free(BESREC *rec) {
  if (!rec) return;
  dbclose(rec->handle);
  ARRAY_Free(rec->array);
  myfree(rec->array);
  myfree(rec->work);
  myfree(rec);
}

void FE_Exit(int code) {
  Log_Msg("Error occurred (data is saved)! Please restart the application!\n");
  Msglog_Exit(code);
}

void BE_Exit(int code) {
  Log_Msg("BE-Error occurred! Please restart the application!\n");
  Msglog_Exit(code);
}

void Abort_FPE(int) { abort_with("Floating point exception"); }
void Abort_SEGV(int) { abort_with("Segmentation fault"); }
void Abort_BUS(int) { abort_with("Bus error"); }
void Abort_PIPE(int) { abort_with("Broken pipe"); }

void Exit(int) {
  Log_Msg("Program terminated\n");
  _exit(1);
}
