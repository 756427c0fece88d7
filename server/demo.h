// Demo data of korvald (--demo): customers, articles and orders in KVSYS.
// Made through the storage interface (store.h), so that every backend gets
// the same tables and rows.  Used by the backends' start and by tests that
// want a filled database.
#ifndef SERVER_DEMO_H
#define SERVER_DEMO_H

#include <string>

#include "server/store.h"

// Fills the open database of store with the demo tables when it has none,
// in one transaction.  Returns false with *err on failure (nothing of the
// demo data is left then).
bool kv_fill_demo(KvStore &store, std::string *err);

#endif
