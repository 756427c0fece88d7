#!/bin/sh
# The manual pages: groff formats them without a warning, and every option
# a program's --help names is described in its page, so the two cannot
# drift apart.  Usage: manpage_test.sh DOCDIR KVSQL KORVALD.  Skipped
# (status 77) when groff is missing.
set -u
command -v groff >/dev/null || { echo "groff is missing: test skipped"; exit 77; }
status=0
check() {  # page, program
  warnings=$(groff -man -ww -z "$1" 2>&1)
  [ -z "$warnings" ] || { echo "$1: $warnings"; status=1; }
  text=$(groff -man -Tascii -P-c -P-b -P-u "$1" 2>/dev/null)
  options=$("$2" --help | grep -oE '(^|[][ (|,])--?[a-zA-Z][-a-zA-Z]*' | sed 's/^[][ (|,]//' | sort -u)
  [ -n "$options" ] || { echo "$2 --help names no options"; status=1; }
  for opt in $options; do
    printf '%s\n' "$text" | grep -qF -- "$opt" || { echo "$1 does not describe $opt of $2 --help"; status=1; }
  done
}
check "$1/kvsql.1" "$2"
check "$1/korvald.1" "$3"
[ $status = 0 ] && echo "manual pages complete"
exit $status
