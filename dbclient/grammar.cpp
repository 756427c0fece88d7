// The SQL statement grammar: a recursive-descent reader over the scanner
// that emits each statement, as it reads, as a KORVAL request in the query
// buffer.  Separators and brackets are dropped, qualified names go out in
// prefix form, operators after their operands, and WHERE and ORDER BY
// sections between their own tokens.
//
// Every routine below starts with the first token of its part as the
// current token (or scans it itself where it says so) and leaves the first
// token after its part as the current token; it returns true, or false
// after writing the error text into the scanner's estrg.
#include "dbclient/grammar.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "proto/query.h"
#include "dbclient/scanner.h"

namespace {

// The current token and its text, plus the look-ahead text for the second
// keyword of SHOW and SET.  Lives on scan_sql's stack.
struct Grammar {
  int tok = TOK_NONE;
  char txt[SCAN_TEXT_SIZE];
  char look[SCAN_TEXT_SIZE];
  int depth = 0;  // primaries being read, one per bracket or subselect level
};

thread_local Grammar *G = nullptr;

// The error destination of the statement being read.
char *estrg() { return scan_current()->estrg; }

// Scans the next token; a failed scan reports the unexpected end with what.
bool next(const char *what) {
  if (scan_token(&G->tok, G->txt)) return true;
  _scan_token_error(estrg(), what);
  return false;
}

// Scans the next token, which must be code (match_token texts otherwise).
bool expect(int code) { return match_token(&G->tok, code, G->txt) != 0; }

// The current token is the wrong kind of element.
bool wrong(const char *what) {
  _error(what, G->tok);
  return false;
}

// The current token is not the fixed token code (the match_token text).
bool wrong_fixed(int code) {
  char exp_text[TOK_TEXT_SIZE], found_text[TOK_TEXT_SIZE];
  snprintf(estrg(), SCAN_ERR_SIZE, "Syntax error: %s expected (found %s)",
           tok_translate(code, exp_text), tok_translate(G->tok, found_text));
  return false;
}

void emit(int code) { DBquery_addtoken(code); }
void emit_name(const char *name) { DBquery_addtokname(TOK_NAME, name); }
void emit_str(const char *text) { DBquery_addtokstring(TOK_STRING, text); }
void emit_int(int32_t value) { DBquery_addtokint(TOK_INT, value); }

bool is_const() { return G->tok == TOK_INT || G->tok == TOK_DOUBLE || G->tok == TOK_STRING; }

void emit_const() {
  if (G->tok == TOK_INT)
    emit_int((int32_t)strtol(G->txt, nullptr, 10));
  else if (G->tok == TOK_DOUBLE)
    DBquery_addtokdouble(TOK_DOUBLE, strtod(G->txt, nullptr));
  else
    emit_str(G->txt);
}

bool is_comparison(int tok) {
  switch (tok) {
    case TOK_EQ:
    case TOK_LT:
    case TOK_GT:
    case TOK_LE:
    case TOK_GE:
    case TOK_NE:
    case TOK_LIKE: return true;
    default: return false;
  }
}

bool is_type(int tok) {
  switch (tok) {
    case TOK_CHARACTER:
    case TOK_BINARY:
    case TOK_SMALLINT:
    case TOK_INTEGER:
    case TOK_FLOAT:
    case TOK_DATE:
    case TOK_TIME:
    case TOK_TIMESTAMP: return true;
    default: return false;
  }
}

bool scan_select();
bool scan_expr();

// A constant: string, integer or float literal (current token).
bool scan_const_value() {
  if (!is_const()) return wrong("<value>");
  emit_const();
  return true;
}

// An operand: name, q . n, or constant.  what names it in the error text.
bool scan_value(const char *what) {
  if (G->tok == TOK_NAME) {
    std::string q = G->txt;
    if (!next("element")) return false;
    if (G->tok != TOK_DOT) {
      emit_name(q.c_str());
      return true;
    }
    if (!next("attrib-name")) return false;
    if (G->tok != TOK_NAME) return wrong("attrib-name");
    emit(TOK_DOT);
    emit_name(q.c_str());
    emit_name(G->txt);
    return next("element");
  }
  if (!is_const()) return wrong(what);
  emit_const();
  return next("element");
}

// "( SELECT body )" after the '(' and with SELECT current: the subselect and
// its closing bracket; leaves the token after the bracket.
bool scan_subselect() {
  if (!scan_select()) return false;
  if (G->tok != TOK_RPAREN) return wrong("')'");
  return next("element");
}

// Brackets and subselects nest by recursion; a limit keeps an absurdly deep
// text from overrunning the stack.
constexpr int kMaxDepth = 256;

bool primary_body();

bool scan_primary() {
  if (G->depth >= kMaxDepth) {
    snprintf(estrg(), SCAN_ERR_SIZE, "Syntax error: expression nested too deeply (max = %d)",
             kMaxDepth);
    return false;
  }
  G->depth++;
  bool ok = primary_body();
  G->depth--;
  return ok;
}

bool primary_body() {
  if (G->tok == TOK_LPAREN) {
    if (!next("expression")) return false;
    if (G->tok == TOK_SELECT) return scan_subselect();
    if (!scan_expr()) return false;
    if (G->tok != TOK_RPAREN) return wrong("')'");
    return next("element");
  }
  if (G->tok == TOK_EXISTS) {
    if (!next("'('")) return false;
    if (G->tok != TOK_LPAREN) return wrong("'('");
    if (!expect(TOK_SELECT)) return false;
    emit(TOK_SELECT_EXISTS);
    if (!scan_select()) return false;
    if (G->tok != TOK_RPAREN) return wrong("')'");
    emit(TOK_EXISTS);
    return next("element");
  }
  if (!scan_value("expr-element")) return false;
  int op = G->tok;
  if (is_comparison(op)) {
    if (!next("value")) return false;
    if (G->tok == TOK_LPAREN) {
      if (!expect(TOK_SELECT)) return false;
      emit(TOK_SELECT);
      if (!scan_subselect()) return false;
    } else if (!scan_value("expr-value")) {
      return false;
    }
    emit(op);
    return true;
  }
  if (op == TOK_IN) {
    if (!next("'('")) return false;
    if (G->tok != TOK_LPAREN) return wrong("'('");
    if (!next("const value")) return false;
    if (G->tok == TOK_SELECT) {
      emit(TOK_SELECT);
      if (!scan_subselect()) return false;
      emit_int(1);
      emit(TOK_IN);
      return true;
    }
    int32_t k = 0;
    for (;;) {
      if (!scan_const_value()) return false;
      k++;
      if (!next("')'")) return false;
      if (G->tok == TOK_RPAREN) break;
      if (G->tok != TOK_COMMA) return wrong("')'");
      if (!next("const value")) return false;
    }
    emit_int(k);
    emit(TOK_IN);
    return next("element");
  }
  if (op == TOK_BETWEEN) {
    if (!next("const value")) return false;
    if (!scan_const_value()) return false;
    if (!next("element")) return false;
    if (G->tok != TOK_AND) return wrong("'AND'");
    if (!next("const value")) return false;
    if (!scan_const_value()) return false;
    emit(TOK_BETWEEN);
    return next("element");
  }
  return true;
}

// element = [NOT] primary
bool scan_element() {
  if (G->tok != TOK_NOT) return scan_primary();
  if (!next("element")) return false;
  if (!scan_primary()) return false;
  emit(TOK_NOT);
  return true;
}

// term = element { AND element }
bool scan_sub_expr() {
  if (!scan_element()) return false;
  while (G->tok == TOK_AND) {
    if (!next("element")) return false;
    if (!scan_element()) return false;
    emit(TOK_AND);
  }
  return true;
}

// expression = term { OR term }
bool scan_expr() {
  if (!scan_sub_expr()) return false;
  while (G->tok == TOK_OR) {
    if (!next("element")) return false;
    if (!scan_sub_expr()) return false;
    emit(TOK_OR);
  }
  return true;
}

// WHERE current: 'w' expression 'w'.
bool scan_where() {
  emit(TOK_WHERE);
  if (!next("expression")) return false;
  if (!scan_expr()) return false;
  emit(TOK_WHERE);
  return true;
}

// ORDER BY current: 'H' items 'H'.
bool scan_order() {
  emit(TOK_ORDER_BY);
  for (;;) {
    if (!next("attrib-name")) return false;
    if (G->tok != TOK_NAME) return wrong("attrib-name");
    std::string q = G->txt;
    if (!next("';'")) return false;
    if (G->tok == TOK_DOT) {
      if (!next("attrib-name")) return false;
      if (G->tok != TOK_NAME) return wrong("attrib-name");
      emit(TOK_DOT);
      emit_name(q.c_str());
      emit_name(G->txt);
      if (!next("';'")) return false;
    } else {
      emit_name(q.c_str());
    }
    if (G->tok == TOK_DESC) {
      emit(TOK_DESC);
      if (!next("';'")) return false;
    } else if (G->tok == TOK_ASC) {
      if (!next("';'")) return false;
    }
    if (G->tok != TOK_COMMA) break;
  }
  emit(TOK_ORDER_BY);
  return true;
}

// One item of the select list (current token is its first).
bool scan_select_item() {
  int t = G->tok;
  if (t == TOK_STAR) {
    emit(TOK_STAR);
    return next("FROM");
  }
  if (t == TOK_COUNT) {
    if (!expect(TOK_LPAREN) || !expect(TOK_STAR) || !expect(TOK_RPAREN)) return false;
    emit(TOK_COUNT);
    return next("FROM");
  }
  if (t == TOK_MIN || t == TOK_MAX) {
    if (!expect(TOK_LPAREN)) return false;
    if (!next("attrib-name")) return false;
    if (G->tok != TOK_NAME) return wrong("attrib-name");
    std::string n = G->txt;
    if (!next("')'")) return false;
    emit(t);
    if (G->tok == TOK_DOT) {
      if (!next("attrib-name")) return false;
      if (G->tok != TOK_NAME) return wrong("attrib-name");
      emit_str(n.c_str());
      emit_name(G->txt);
      if (!next("')'")) return false;
    } else {
      emit_name(n.c_str());
    }
    if (G->tok != TOK_RPAREN) return wrong("')'");
    return next("FROM");
  }
  if (t == TOK_NAME) {
    std::string q = G->txt;
    if (!next("FROM")) return false;
    if (G->tok != TOK_DOT) {
      emit_name(q.c_str());
      return true;
    }
    if (!next("attrib-name")) return false;
    if (G->tok == TOK_STAR) {
      emit_str(q.c_str());
      emit(TOK_STAR);
    } else if (G->tok == TOK_NAME) {
      emit_str(q.c_str());
      emit_name(G->txt);
    } else {
      return wrong("attrib-name");
    }
    return next("FROM");
  }
  return wrong("attrib-name");
}

// The select body after SELECT (scans its own first token): select list,
// FROM and table list, optional WHERE and ORDER BY.
bool scan_select() {
  if (!next("attrib-list")) return false;
  bool distinct = false;
  for (;;) {
    if (G->tok == TOK_DISTINCT) {
      if (distinct) return wrong("attrib-name");
      distinct = true;
      emit(TOK_DISTINCT);
      if (!next("attrib-name")) return false;
    }
    if (!scan_select_item()) return false;
    if (G->tok != TOK_COMMA) break;
    if (!next("attrib-list")) return false;
  }
  if (G->tok != TOK_FROM) return wrong("FROM");
  emit(TOK_FROM);
  if (!next("table-list")) return false;
  for (;;) {
    if (G->tok != TOK_NAME) return wrong("table-name");
    emit_name(G->txt);
    if (!next("WHERE")) return false;
    if (G->tok == TOK_NAME) {
      emit_str(G->txt);
      if (!next("WHERE")) return false;
    }
    if (G->tok != TOK_COMMA) break;
    if (!next("table-list")) return false;
  }
  if (G->tok == TOK_WHERE && !scan_where()) return false;
  if (G->tok == TOK_ORDER_BY && !scan_order()) return false;
  return true;
}

// The end of a statement that writes its own 'x'.
bool end_own() {
  if (G->tok != TOK_END) return wrong("';'");
  emit(TOK_END);
  return true;
}

// The end of the other statements; have_next: the current token already is
// the one after the statement.
bool end_plain(bool have_next) {
  if (!have_next && !next("query-end")) return false;
  if (G->tok != TOK_END) return wrong("end of SQL-command");
  return true;
}

bool scan_declare() {
  emit(CMD_DECLARE);
  if (!expect(TOK_NAME)) return false;
  emit_name(G->txt);
  if (!expect(TOK_CURSOR) || !expect(TOK_FOR) || !expect(TOK_SELECT)) return false;
  return scan_select() && end_own();
}

bool scan_insert() {
  emit(CMD_INSERT);
  if (!expect(TOK_NAME)) return false;
  emit_name(G->txt);
  if (!next("VALUES")) return false;
  int columns = -1;
  if (G->tok == TOK_LPAREN) {
    columns = 0;
    for (;;) {
      if (!next("attribute")) return false;
      if (G->tok != TOK_NAME) return wrong("attrib-name");
      emit_name(G->txt);
      columns++;
      if (!next("')'")) return false;
      if (G->tok == TOK_RPAREN) break;
      if (G->tok != TOK_COMMA) return wrong("')'");
    }
    if (!next("VALUES")) return false;
  }
  if (G->tok != TOK_VALUES) return wrong_fixed(TOK_VALUES);
  emit(TOK_VALUES);
  if (!expect(TOK_LPAREN)) return false;
  int values = 0;
  for (;;) {
    if (!next("<value>")) return false;
    if (!scan_const_value()) return false;
    values++;
    if (!next("')'")) return false;
    if (G->tok == TOK_RPAREN) break;
    if (G->tok != TOK_COMMA) return wrong("')'");
  }
  if (columns >= 0 && columns != values) {
    snprintf(estrg(), SCAN_ERR_SIZE, "(INSERT) attributes (%d) do not match values (%d)", columns,
             values);
    return false;
  }
  return next("';'") && end_own();
}

bool scan_update() {
  emit(CMD_UPDATE);
  if (!expect(TOK_NAME)) return false;
  emit_name(G->txt);
  if (!expect(TOK_SET)) return false;
  for (;;) {
    if (!next("attribute")) return false;
    if (G->tok != TOK_NAME) return wrong("attrib-name");
    emit_name(G->txt);
    if (!expect(TOK_EQ)) return false;
    if (!next("<value>")) return false;
    if (!scan_const_value()) return false;
    if (!next("WHERE")) return false;
    if (G->tok != TOK_COMMA) break;
  }
  if (G->tok == TOK_WHERE && !scan_where()) return false;
  return end_own();
}

bool scan_delete() {
  emit(CMD_DELETE);
  if (!expect(TOK_NAME)) return false;
  emit_name(G->txt);
  if (!next("WHERE")) return false;
  if (G->tok == TOK_WHERE && !scan_where()) return false;
  return end_own();
}

bool scan_create_table() {
  emit(CMD_CREATE_TABLE);
  if (!expect(TOK_NAME)) return false;
  emit_name(G->txt);
  if (!expect(TOK_LPAREN)) return false;
  for (;;) {
    if (!next("attribute")) return false;
    if (G->tok != TOK_NAME) return wrong("attrib-name");
    emit_name(G->txt);
    if (!next("datatype")) return false;
    int type = G->tok;
    if (!is_type(type)) return wrong("datatype");
    emit(type);
    if (type == TOK_CHARACTER || type == TOK_BINARY) {
      if (!expect(TOK_LPAREN)) return false;
      if (!next("datatype")) return false;
      if (G->tok != TOK_INT) return wrong("datatype");
      emit_int((int32_t)strtol(G->txt, nullptr, 10));
      if (!expect(TOK_RPAREN)) return false;
    }
    if (!next("')'")) return false;
    if (G->tok == TOK_NOT) {
      if (!expect(TOK_NULL)) return false;
      emit(TOK_NULL);
      if (!next("')'")) return false;
    }
    if (G->tok == TOK_RPAREN) break;
    if (G->tok != TOK_COMMA) return wrong("')'");
  }
  return next("';'") && end_own();
}

bool scan_create_index(int command) {
  emit(command);
  if (!expect(TOK_NAME)) return false;
  emit_name(G->txt);
  if (!expect(TOK_ON) || !expect(TOK_NAME)) return false;
  emit_name(G->txt);
  if (!expect(TOK_LPAREN)) return false;
  for (;;) {
    if (!next("attribute")) return false;
    if (G->tok != TOK_NAME) return wrong("attrib-name");
    emit_name(G->txt);
    if (!next("')'")) return false;
    if (G->tok == TOK_RPAREN) break;
    if (G->tok != TOK_COMMA) return wrong("')'");
  }
  return next("';'") && end_own();
}

// A command followed by one name, then the plain end.
bool command_with_name(int command) {
  emit(command);
  if (!expect(TOK_NAME)) return false;
  emit_name(G->txt);
  return end_plain(false);
}

bool scan_fetch() {
  emit(CMD_FETCH);
  if (!next("IN")) return false;
  if (G->tok == TOK_ALL) {
    emit(TOK_ALL);
    if (!next("IN")) return false;
    if (G->tok != TOK_IN) return wrong_fixed(TOK_IN);
  }
  if (!expect(TOK_NAME)) return false;
  emit_name(G->txt);
  return end_plain(false);
}

bool scan_max() {
  emit(CMD_MAX);
  if (!next("<max-results>")) return false;
  if (G->tok == TOK_END) {
    emit(TOK_NULL);
    return end_plain(true);
  }
  if (G->tok != TOK_INT) return wrong("<max-results>");
  long n = strtol(G->txt, nullptr, 10);
  if (n < 0) return wrong("MAX: negative result row maximum");
  emit_int((int32_t)n);
  return end_plain(false);
}

bool scan_show() {
  emit(CMD_SHOW);
  if (!scan_token(&G->tok, G->look)) {
    _scan_token_error(estrg(), "SHOW");
    return false;
  }
  switch (G->tok) {
    case TOK_DATABASES:
    case TOK_TABLES: emit(G->tok); return end_plain(false);
    case TOK_INDICES:
      if (!next("query-end")) return false;
      if (G->tok != TOK_ON) {
        emit(TOK_INDICES);
        return end_plain(true);
      }
      if (!expect(TOK_TABLE) || !expect(TOK_NAME)) return false;
      emit(TOK_TABLE);
      emit(TOK_INDICES);
      emit_name(G->txt);
      return end_plain(false);
    case TOK_TABLE:
      if (!expect(TOK_NAME)) return false;
      emit(TOK_TABLE);
      emit_name(G->txt);
      return end_plain(false);
    case TOK_INDEX:
      if (!expect(TOK_NAME)) return false;
      emit(TOK_INDEX);
      emit_name(G->txt);
      return end_plain(false);
    default: return wrong("SHOW");
  }
}

bool scan_set() {
  if (!scan_token(&G->tok, G->look)) {
    _scan_token_error(estrg(), "TABLE");
    return false;
  }
  if (G->tok == TOK_DATABASE) return command_with_name(CMD_SET_DATABASE);
  if (G->tok != TOK_TABLE) return wrong("TABLE");
  if (!expect(TOK_NAME)) return false;
  std::string table = G->txt;
  if (!next("STATIC")) return false;
  if (G->tok == TOK_STATIC)
    emit(CMD_SET_STATIC);
  else if (G->tok == TOK_SECURE)
    emit(CMD_SET_SECURE);
  else
    return wrong("STATIC");
  emit_name(table.c_str());
  return end_plain(false);
}

bool not_known() {
  const char *p = scan_current()->sql;
  while (isspace((unsigned char)*p)) p++;
  std::string word;
  while (*p && !isspace((unsigned char)*p) && word.size() < 255) word += *p++;
  snprintf(estrg(), SCAN_ERR_SIZE, "(DBexec) Syntax error: SQL-command %s not known", word.c_str());
  return false;
}

bool scan_statement() {
  if (!scan_token(&G->tok, G->txt)) {
    _scan_token_error(estrg(), "SQL-command");
    return false;
  }
  switch (G->tok) {
    case TOK_SELECT: emit(CMD_SELECT); return scan_select() && end_own();
    case TOK_DECLARE: return scan_declare();
    case TOK_FETCH: return scan_fetch();
    case TOK_CLOSE: return command_with_name(CMD_CLOSE);
    case TOK_INSERT_INTO: return scan_insert();
    case TOK_UPDATE: return scan_update();
    case TOK_DELETE_FROM: return scan_delete();
    case TOK_BEGIN: emit(CMD_BEGIN); return end_plain(false);
    case TOK_COMMIT:
    case TOK_END: emit(CMD_COMMIT); return end_plain(false);
    case TOK_ABORT: emit(CMD_ABORT); return end_plain(false);
    case TOK_MAX: return scan_max();
    case TOK_SHOW: return scan_show();
    case TOK_SET: return scan_set();
    case TOK_SAVE:
      if (!expect(TOK_DATABASE)) return false;
      emit(CMD_SAVE_DATABASE);
      return end_plain(false);
    case TOK_CREATE_DATABASE: return command_with_name(CMD_CREATE_DATABASE);
    case TOK_DROP_DATABASE: emit(CMD_DROP_DATABASE); return end_plain(false);
    case TOK_CREATE_TABLE: return scan_create_table();
    case TOK_DROP_TABLE: return command_with_name(CMD_DROP_TABLE);
    case TOK_CREATE_INDEX: return scan_create_index(CMD_CREATE_INDEX);
    case TOK_CREATE_UNIQUE_INDEX: return scan_create_index(CMD_CREATE_UNIQUE_INDEX);
    case TOK_DROP_INDEX: return command_with_name(CMD_DROP_INDEX);
    case TOK_STOP: emit(CMD_STOP); return end_plain(false);
    default: return not_known();
  }
}

}  // namespace

int scan_sql(char *text, char *errdest, int *end) {
  Grammar grammar;
  Grammar *outer = G;
  G = &grammar;
  SqlScanner scanner(text, errdest);
  errdest[0] = '\0';
  bool ok = scan_statement();
  G = outer;
  if (ok && end) *end = scanner.ptr;
  return ok ? 1 : 0;
}
