// Conversion between the terminal's character set and Latin-1 with iconv;
// texts of plain ASCII (the common case) are passed through without a call.
#include "tools/kvsql_encoding.h"

#include <langinfo.h>

#include <cctype>
#include <cerrno>
#include <cstdio>

namespace {

const iconv_t NO_ICONV = reinterpret_cast<iconv_t>(-1);

bool is_ascii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// The name without case, '-' and '_': "ISO_8859-1" and "iso88591" are one set.
std::string plain_name(const std::string &name) {
  std::string r;
  for (char c : name)
    if (c != '-' && c != '_') r += static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return r;
}

// Runs iconv over all of in, appending to out; stops at the first byte it
// cannot convert.  Returns the number of input bytes converted.
size_t convert(iconv_t cd, std::string_view in, std::string *out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char *ip = const_cast<char *>(in.data());
  size_t il = in.size();
  while (il > 0) {
    size_t have = out->size();
    out->resize(have + 4 * il + 16);
    char *op = &(*out)[have];
    size_t ol = out->size() - have;
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    out->resize(out->size() - ol);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) break;
  }
  return in.size() - il;
}

}  // namespace

Recoder::Recoder(bool raw, const std::string &charset) {
  charset_ = charset.empty() ? nl_langinfo(CODESET) : charset;
  std::string plain = plain_name(charset_);
  pass_ = raw || plain == "ISO88591" || plain == "LATIN1" || plain == "L1" ||
          plain == "ANSIX3.41968" || plain == "ASCII" || plain == "USASCII";
  if (pass_) return;
  in_ = iconv_open("ISO-8859-1", charset_.c_str());
  out_ = iconv_open((charset_ + "//TRANSLIT").c_str(), "ISO-8859-1");
  probe_ = iconv_open("UTF-32LE", charset_.c_str());
  ok_ = in_ != NO_ICONV && out_ != NO_ICONV && probe_ != NO_ICONV;
}

Recoder::~Recoder() {
  for (iconv_t cd : {in_, out_, probe_})
    if (cd != NO_ICONV) iconv_close(cd);
}

bool Recoder::to_latin1(std::string_view text, std::string *out, RecodeError *err) {
  out->clear();
  if (pass_ || !ok_ || is_ascii(text)) {
    out->assign(text);
    return true;
  }
  size_t done = convert(in_, text, out);
  if (done == text.size()) return true;
  describe(text, done, err);
  return false;
}

void Recoder::describe(std::string_view text, size_t offset, RecodeError *err) {
  *err = RecodeError();
  err->offset = offset;
  for (size_t i = 0; i < offset; i++) err->line += text[i] == '\n';
  std::string wide;
  convert(probe_, text.substr(0, offset), &wide);
  err->index = wide.size() / 4 + 1;
  // One character: the probe converts into room for exactly one.
  iconv(probe_, nullptr, nullptr, nullptr, nullptr);
  unsigned char cp[4] = {0, 0, 0, 0};
  char *ip = const_cast<char *>(text.data() + offset);
  size_t il = text.size() - offset;
  char *op = reinterpret_cast<char *>(cp);
  size_t ol = sizeof cp;
  iconv(probe_, &ip, &il, &op, &ol);
  size_t used = static_cast<size_t>(ip - (text.data() + offset));
  if (ol == 0 && used > 0) {
    err->character.assign(text.substr(offset, used));
    err->code = cp[0] | cp[1] << 8 | cp[2] << 16 | static_cast<unsigned long>(cp[3]) << 24;
    return;
  }
  // No character: the bytes up to the next ASCII one (at most four).
  err->invalid = true;
  size_t n = 1;
  while (n < 4 && offset + n < text.size() && static_cast<unsigned char>(text[offset + n]) >= 0x80)
    n++;
  err->character.assign(text.substr(offset, n));
}

std::string Recoder::from_latin1(std::string_view text) {
  if (pass_ || !ok_ || is_ascii(text)) return std::string(text);
  std::string out;
  while (!text.empty()) {
    size_t done = convert(out_, text, &out);
    if (done == text.size()) break;
    out += '?';
    text.remove_prefix(done + 1);
  }
  return out;
}

std::string recode_error_text(const RecodeError &err, const std::string &charset) {
  if (err.invalid) {
    std::string hex;
    for (char c : err.character) {
      char b[8];
      snprintf(b, sizeof b, "\\x%02x", static_cast<unsigned char>(c));
      hex += b;
    }
    return "the bytes " + hex + " are no " + charset + " character";
  }
  char code[16];
  snprintf(code, sizeof code, "U+%04lX", err.code);
  return "the character \"" + err.character + "\" (" + code + ") has no Latin-1 form";
}
