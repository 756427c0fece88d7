// The set-up of the viewer's two windows in the form framework, run once
// at start-up: application name, window names and help keys, shortcuts,
// input limits, the two result tables, the database selector filled with
// the server's databases (and the switch to the default one), the close
// handlers.
#ifndef APP_SETUP_H
#define APP_SETUP_H

#include <string>
#include <vector>

// Configures both windows (fd_DBV and fd_DDBV must exist).  Alerts do not
// stop it.
void myfl_init_forms(void);

// The selector's entries for a list of database names, "a,a|b,b", and the
// default: KVSYS when it is listed, else the last name (empty for none).
struct DB_CHOICES {
  std::string entries;
  std::string default_name;
};
DB_CHOICES database_choices(const std::vector<std::string> &names);

#endif
