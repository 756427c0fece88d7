// Character sets in kvsql: the database holds Latin-1 text, while the
// terminal (the locale's character set, or the one named with --encoding)
// may use another one, such as UTF-8.  A Recoder converts statements and
// imported values from the terminal's set to Latin-1 before they are sent,
// and results and server messages back to it, with iconv.  A character that
// Latin-1 cannot hold is refused with its position, never replaced.  Sits
// below kvsql's session and import; no network.
#ifndef TOOLS_KVSQL_ENCODING_H
#define TOOLS_KVSQL_ENCODING_H

#include <iconv.h>

#include <cstddef>
#include <string>
#include <string_view>

// Why a text did not convert to Latin-1, and where.
struct RecodeError {
  size_t offset = 0;       // byte offset of the character in the text
  size_t line = 0;         // line feeds in the text before it
  size_t index = 0;        // its position in the text, counted in characters from 1
  std::string character;   // its bytes as given (for an invalid sequence: the bytes)
  unsigned long code = 0;  // its Unicode code point (0 for an invalid sequence)
  bool invalid = false;    // the bytes are no character of the terminal's set
};

// The conversion between one terminal character set and Latin-1.  Not
// copyable (it owns iconv descriptors); one per process is enough.
class Recoder {
 public:
  // charset: the terminal's character set; empty for the locale's
  // (nl_langinfo(CODESET), so setlocale must have run).  raw: pass bytes
  // unchanged both ways.  Latin-1 itself and the C locale's ASCII pass
  // bytes unchanged as well.  An unknown set leaves ok() false.
  Recoder(bool raw, const std::string &charset);
  ~Recoder();
  Recoder(const Recoder &) = delete;
  Recoder &operator=(const Recoder &) = delete;

  bool ok() const { return ok_; }
  // The terminal's character set as named by the caller or the locale.
  const std::string &charset() const { return charset_; }
  // True when no conversion takes place.
  bool passes_bytes() const { return pass_; }

  // Converts text from the terminal's set into *out (replaced).  On a
  // character without a Latin-1 form or bytes that are no character of the
  // set: false, *err describes the first one, *out is unspecified.
  bool to_latin1(std::string_view text, std::string *out, RecodeError *err);

  // The Latin-1 text in the terminal's set; a character the set cannot show
  // becomes '?'.
  std::string from_latin1(std::string_view text);

 private:
  void describe(std::string_view text, size_t offset, RecodeError *err);

  bool ok_ = true;
  bool pass_ = false;
  std::string charset_;
  iconv_t in_ = reinterpret_cast<iconv_t>(-1);     // terminal -> Latin-1
  iconv_t out_ = reinterpret_cast<iconv_t>(-1);    // Latin-1 -> terminal
  iconv_t probe_ = reinterpret_cast<iconv_t>(-1);  // terminal -> UTF-32LE, for messages
};

// The message for a refused character, without a location: "the character
// "€" (U+20AC) has no Latin-1 form" or "the bytes \xe2\x82 are no UTF-8
// character" (the set's name inserted).  The character is shown in the
// terminal's set, as given.
std::string recode_error_text(const RecodeError &err, const std::string &charset);

#endif
