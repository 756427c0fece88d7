// Demo data of korvald (--demo): customers, articles and orders in KVSYS.
// Used by the server's start and by tests that want a filled database.
#ifndef SERVER_DEMO_H
#define SERVER_DEMO_H

#include <string>

// Fills the database file at path with the demo tables when it has none.
// Returns false with *err on failure.
bool kv_fill_demo(const std::string &path, std::string *err);

#endif
