// Field names read from a SELECT or SHOW request.
#include "tools/kvsql_header.h"

#include <strings.h>

#include "proto/query.h"

namespace {

struct Item {
  std::string name;       // the field's name, or empty for a star
  std::string qualifier;  // a star's table or alias; empty for all tables
};

struct Table {
  std::string name, alias;
};

// Reads tokens of one request; every read fails once one has failed.
class Reader {
 public:
  Reader(const char *data, int len) : data_(data), len_(len) {}
  bool ok() const { return pos_ >= 0; }
  int token() {
    int t = TOK_END;
    if (ok()) pos_ = DBget_token(pos_, data_, len_, &t, err_);
    return ok() ? t : -1;
  }
  int peek() {
    int keep = pos_, t = token();
    pos_ = keep;
    return t;
  }
  std::string text(int code) {
    const char *s = "";
    if (ok())
      pos_ = code == TOK_NAME ? DBget_name(pos_, data_, len_, &s, err_)
                              : DBget_string(pos_, data_, len_, &s, err_);
    return ok() ? s : "";
  }

 private:
  const char *data_;
  int len_;
  int pos_ = 0;
  char err_[DB_GET_ERRSIZE];
};

bool select_names(Reader &r, const ColumnsOf &columns_of, std::vector<std::string> *names) {
  std::vector<Item> items;
  for (int t = r.token(); t != TOK_FROM; t = r.token()) {
    if (t == TOK_DISTINCT) continue;
    if (t == TOK_STAR) {
      items.push_back({"", ""});
    } else if (t == TOK_COUNT) {
      items.push_back({"COUNT(*)", ""});
    } else if (t == TOK_MIN || t == TOK_MAX) {
      int n = r.token();
      if (n == TOK_STRING) {
        r.text(TOK_STRING);
        n = r.token();
      }
      if (n != TOK_NAME) return false;
      items.push_back({std::string(t == TOK_MIN ? "MIN(" : "MAX(") + r.text(TOK_NAME) + ")", ""});
    } else if (t == TOK_NAME) {
      items.push_back({r.text(TOK_NAME), ""});
    } else if (t == TOK_STRING) {
      std::string q = r.text(TOK_STRING);
      int n = r.token();
      if (n == TOK_STAR)
        items.push_back({"", q});
      else if (n == TOK_NAME)
        items.push_back({r.text(TOK_NAME), ""});
      else
        return false;
    } else {
      return false;
    }
    if (!r.ok()) return false;
  }
  std::vector<Table> from;
  while (r.peek() == TOK_NAME) {
    r.token();
    Table t{r.text(TOK_NAME), ""};
    if (r.peek() == TOK_STRING) {
      r.token();
      t.alias = r.text(TOK_STRING);
    }
    from.push_back(t);
  }
  if (!r.ok()) return false;
  for (const Item &it : items) {
    if (!it.name.empty()) {
      names->push_back(it.name);
      continue;
    }
    bool any = false;
    for (const Table &t : from) {
      const std::string &ref = t.alias.empty() ? t.name : t.alias;
      if (!it.qualifier.empty() && strcasecmp(ref.c_str(), it.qualifier.c_str()) != 0) continue;
      std::vector<std::string> cols = columns_of(t.name);
      if (cols.empty()) return false;
      names->insert(names->end(), cols.begin(), cols.end());
      any = true;
    }
    if (!any) return false;
  }
  return true;
}

// The fixed fields of the SHOW statements.
bool show_names(Reader &r, std::vector<std::string> *names) {
  int t = r.token();
  if (t == TOK_TABLE) t = r.peek() == TOK_INDICES ? TOK_INDICES : TOK_TABLE;
  switch (t) {
    case TOK_DATABASES: *names = {"DATABASE"}; break;
    case TOK_TABLES: *names = {"TABLE"}; break;
    case TOK_TABLE: *names = {"COLUMN", "TYPE", "SIZE", "NOT NULL"}; break;
    case TOK_INDICES: *names = {"INDEX", "TABLE", "UNIQUE"}; break;
    case TOK_INDEX: *names = {"INDEX", "TABLE", "COLUMN", "UNIQUE"}; break;
    default: return false;
  }
  return r.ok();
}

}  // namespace

bool result_names(const char *request, int len, const ColumnsOf &columns_of,
                  std::vector<std::string> *names) {
  names->clear();
  Reader r(request, len);
  int cmd = r.token();
  bool ok = cmd == CMD_SELECT ? select_names(r, columns_of, names)
            : cmd == CMD_SHOW ? show_names(r, names)
                              : false;
  if (!ok) names->clear();
  return ok;
}
