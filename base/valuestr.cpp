// Temporary value strings (the process-wide ring) and the text helpers of
// the base library.  See valuestr.h for the contracts.
#include "base/valuestr.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/mem.h"
#include "base/msglog.h"

char *valstrs[VALSTR_LIMIT];
int32_t ivalstr = 0;
int32_t valstrs_hold = 0;
int32_t valstr_warning = 1;
int32_t myfl_comma = 0;

namespace {

char empty_text[1] = "";

// Programming errors are reported on standard output, then the process ends.
[[noreturn]] void Fatal() {
  fflush(stdout);
  Msglog_Exit(1);
}

// Registers s in the ring when there is room; the first overflow is reported
// once for the whole run.  Returns s either way.
char *Register(char *s) {
  if (ivalstr < VALSTR_LIMIT - 1) {
    valstrs[ivalstr++] = s;
  } else if (valstr_warning) {
    valstr_warning = 0;
    printf(
        "(Make_ValueString) Warning: Limit for temporary strings reached - "
        "memory is wasted (limit = %d)\n",
        VALSTR_LIMIT);
    fflush(stdout);
  }
  return s;
}

const char *Safe(const char *text) { return text ? text : ""; }

// Length of text without its trailing blanks.
size_t ReducedLength(const char *text) {
  size_t n = strlen(text);
  while (n > 0 && text[n - 1] == ' ') n--;
  return n;
}

char *Dup(const std::string &s) { return mystrdup(s.c_str()); }

}  // namespace

char *Make_ValueString(const char *text, int maxlen) {
  text = Safe(text);
  if (maxlen < 0) {
    printf(
        "(Make_ValueString) Error: Stringsize '%d' of type is invalid "
        "('%s')\n",
        maxlen, text);
    Fatal();
  }
  size_t len = strlen(text);
  if (len > static_cast<size_t>(maxlen)) {
    printf(
        "(Make_ValueString) Error: Size of string '%s' is invalid (%d "
        "characters expected)\n",
        text, maxlen);
    Fatal();
  }
  std::string out;
  out.reserve(len + 8);
  for (const char *p = text; *p; p++) {
    if (*p == '\'' || *p == '"') out += '\\';
    out += *p;
  }
  return Register(Dup(out));
}

char *Make_DbValueString(const char *text, int maxlen) {
  text = Safe(text);
  if (ReducedLength(text) == 0) return empty_text;
  return Make_ValueString(text, maxlen);
}

char *Make_String(const char *text) { return Register(mystrdup(Safe(text))); }

char *Make_LogicalString(int value) {
  if (value == 1 || value == '1') return Make_String("Ja");
  if (value == 0 || value == '0') return Make_String("Nein");
  printf("(Make_LogicalString) Error: Invalid logical value '%c'!\n", value);
  Fatal();
}

char *Make_Reduce_String(const char *text) {
  text = Safe(text);
  return Make_String(std::string(text, ReducedLength(text)).c_str());
}

char *Make_Reduce_HTML_String(const char *text) {
  text = Safe(text);
  if (ReducedLength(text) == 0) return Make_String("-");
  return Make_Reduce_String(text);
}

char *Make_Reduce_HTML_Beschreibung(const char *text) {
  text = Safe(text);
  size_t n = ReducedLength(text);
  std::string out;
  size_t i = 0;
  while (i < n) {
    if (text[i] == '\n') {
      out += "<br>";
      i++;
      size_t k = 0;
      while (i < n && text[i] == ' ') {
        k++;
        i++;
      }
      if (k > 0) {
        char buf[64];
        snprintf(buf, sizeof buf, "<spacer type=horizontal size=%zu>", 10 * k);
        out += buf;
      }
    } else {
      out += text[i++];
    }
  }
  if (out.empty()) out = "-";
  return Make_String(out.c_str());
}

void Free_ValueStrings(void) {
  if (valstrs_hold > 0) return;
  for (int32_t i = 0; i < ivalstr; i++) {
    myfree(valstrs[i]);
    valstrs[i] = nullptr;
  }
  ivalstr = 0;
}

int Hold_ValueStrings(void) {
  valstrs_hold++;
  return 1;
}

int Release_ValueStrings(void) {
  if (valstrs_hold <= 0) {
    printf(
        "(Release_ValueStrings) Error: No corresponding "
        "Hold_ValueStrings!\n");
    Fatal();
  }
  valstrs_hold--;
  return 1;
}

char *Reduce_String(const char *text) {
  text = Safe(text);
  return Dup(std::string(text, ReducedLength(text)));
}

char *Fillup_String(const char *text, int width) {
  std::string s = Safe(text);
  if (width > 0 && s.size() < static_cast<size_t>(width)) s.resize(width, ' ');
  return Dup(s);
}

int Is_EmptyString(const char *text) {
  for (const char *p = Safe(text); *p; p++)
    if (!isspace(static_cast<unsigned char>(*p))) return 0;
  return 1;
}

int my_strcmp(const char *a, const char *b) {
  a = Safe(a);
  b = Safe(b);
  size_t na = ReducedLength(a), nb = ReducedLength(b);
  return na == nb && memcmp(a, b, na) == 0 ? 1 : 0;
}

namespace {

// Upper case with the locale's table, then Ä, Ö, Ü (Latin-1) as A, O, U;
// the result is the signed 8-bit value used for ordering.
signed char SortKey(char c) {
  int u = toupper(static_cast<unsigned char>(c));
  switch (u) {
    case 0xC4: u = 'A'; break;
    case 0xD6: u = 'O'; break;
    case 0xDC: u = 'U'; break;
  }
  return static_cast<signed char>(static_cast<unsigned char>(u));
}

}  // namespace

int mystrcmp(const char *a, const char *b) {
  a = Safe(a);
  b = Safe(b);
  for (; *a && *b; a++, b++) {
    signed char ka = SortKey(*a), kb = SortKey(*b);
    if (ka != kb) return ka < kb ? -1 : 1;
  }
  if (*a) return 1;
  if (*b) return -1;
  return 0;
}

int my_strncpy(char *dst, const char *src, int size) {
  src = Safe(src);
  if (size < 0) size = 0;
  size_t full = strlen(src);
  size_t n = full;
  while (n > static_cast<size_t>(size) && src[n - 1] == ' ') n--;
  if (n <= static_cast<size_t>(size)) {
    memcpy(dst, src, n);
    dst[n] = '\0';
    return 1;
  }
  printf("(my_strncpy): String too long (strlen = %d; size = %d)!\n", static_cast<int>(full), size);
  fflush(stdout);
  memcpy(dst, src, size);
  dst[size] = '\0';
  return 0;
}

double XAtof(const char *text) {
  if (!text || text[0] == '\0' || text[0] == ' ') return 0.0;
  size_t n = strcspn(text, " ");
  if (n > 9999) n = 9999;
  std::string word(text, n);
  return strtod(word.c_str(), nullptr);
}

void Set_Nachkommastellen(int n) { myfl_comma = n; }
