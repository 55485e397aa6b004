#!/usr/bin/env bash
# The programs' own options, and the manual pages and bash completions kept in step with them:
# `corvane --help` and `--version` answer without a display, a window or the single-instance
# socket; `corvane-cli --version`; every command and option `corvane-cli --help` lists is in the
# completion and the manual page.
# Usage: check-command-line.sh CORVANE CORVANE_CLI PROJECT_VERSION PACKAGING_SOURCE_DIR
set -uo pipefail

corvane=$1 cli=$2 version=$3 packaging=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# No display at all: were a QApplication created, Qt would abort. The runtime folder must stay
# empty, as no socket or lock may be made.
runtime=$work/runtime
mkdir -m 700 "$runtime"
editor() {
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" "$corvane" "$@"
}

out=$(editor --version 2>"$work/err"); status=$?
[ $status -eq 0 ] || fail "corvane --version: exit status $status"
[ "$out" = "corvane $version" ] || fail "corvane --version printed '$out'"
[ ! -s "$work/err" ] || fail "corvane --version wrote to standard error: $(cat "$work/err")"

for option in --help -h; do
  out=$(editor "$option" 2>"$work/err"); status=$?
  [ $status -eq 0 ] || fail "corvane $option: exit status $status"
  [ ! -s "$work/err" ] || fail "corvane $option wrote to standard error: $(cat "$work/err")"
  for word in "usage: corvane" --new-window --help --version; do
    grep -qF -- "$word" <<<"$out" || fail "corvane $option does not mention $word"
  done
done
# Also among files and other options, and the first of the two wins.
[ "$(editor --new-window --version --help a.txt)" = "corvane $version" ] ||
  fail "corvane --new-window --version --help a.txt is not the version"
editor --version >/dev/full 2>/dev/null && fail "corvane --version into a full device exits 0"
[ -z "$(ls -A "$runtime")" ] || fail "corvane --help/--version left files in XDG_RUNTIME_DIR: $(ls -A "$runtime")"

# corvane-cli
out=$("$cli" --version 2>&1); status=$?
[ $status -eq 0 ] || fail "corvane-cli --version: exit status $status"
[ "$out" = "corvane-cli $version" ] || fail "corvane-cli --version printed '$out'"
help=$("$cli" --help 2>&1) || fail "corvane-cli --help: exit status $?"
grep -q -- "--version" <<<"$help" || fail "corvane-cli --help does not mention --version"
"$cli" >/dev/null 2>&1
[ $? -eq 2 ] || fail "corvane-cli without a command does not exit 2"

# Each command's synopsis line: two spaces, the name, its options.
commands=$(awk '/^  [a-z]/ { print $1 }' <<<"$help")
[ -n "$commands" ] || fail "no commands in corvane-cli --help"
source "$packaging/completion/corvane-cli.bash" || fail "completion script"
complete_words() { # word...: what completing after them offers
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _corvane_cli
  printf '%s\n' "${COMPREPLY[@]}"
}
top=$(complete_words corvane-cli "")
cli_page=$packaging/man/corvane-cli.1.in
for command in $commands; do
  grep -qx "$command" <<<"$top" || fail "completion lacks the command $command"
  grep -q "^\\\\fB$command\\\\fR" "$cli_page" || fail "corvane-cli(1) has no entry for $command"
  offered=$(complete_words corvane-cli "$command" --)
  for option in $(awk -v c="$command" '$1 == c' <<<"$help" | grep -o -- '--[a-z-]*' | sort -u); do
    grep -qx -- "$option" <<<"$offered" || fail "completion of $command lacks $option"
    # The page writes each dash as \-.
    grep -qF -- "${option//-/\\-}" "$cli_page" || fail "corvane-cli(1) does not mention $command $option"
  done
done
for word in --help --version; do
  grep -qx -- "$word" <<<"$top" || fail "completion lacks $word"
done
[ "$(complete_words corvane-cli resave --encoding utf-16l)" = utf-16le ] ||
  fail "completion of resave --encoding does not offer the encoding IDs"

source "$packaging/completion/corvane.bash" || fail "completion script of corvane"
COMP_WORDS=(corvane --); COMP_CWORD=1; COMPREPLY=()
_corvane
for option in --new-window --help --version; do
  printf '%s\n' "${COMPREPLY[@]}" | grep -qx -- "$option" || fail "completion of corvane lacks $option"
  grep -qF -- "${option//-/\\-}" "$packaging/man/corvane.1.in" || fail "corvane(1) does not mention $option"
done

if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "command line: corvane and corvane-cli options, completions and manual pages agree ($(wc -w <<<"$commands") commands)"
