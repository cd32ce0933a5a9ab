#!/usr/bin/env bash
# Checks the man pages against the programs' --help: every command, option and exit code that
# brindle-cli --help names, and every option of brindle --help, has its paragraph in the page,
# and both pages render without a warning from man and groff.
#
#   check-man-pages.sh BRINDLE-CLI BRINDLE-CLI.1 BRINDLE BRINDLE.1
set -euo pipefail
cli=$1 cli_page=$2 app=$3 app_page=$4
failures=0

# The page as text, one paragraph tag a line, without hyphenation or justification.
render() {
  local warnings
  warnings=$(mktemp)
  MANWIDTH=120 man --warnings -E ascii --nh --nj -l "$1" 2>"$warnings" | col -b
  if [ -s "$warnings" ]; then
    echo "FAIL: $1 renders with warnings:" >&2
    cat "$warnings" >&2
    failures=$((failures + 1))
  fi
  rm -f "$warnings"
}

# The lines of section NAME of a rendered page.
section() { awk -v name="$1" '/^[A-Z]/ { on = ($0 == name) ; next } on'; }

# Options in the option column of help lines that start with one: "-r, --recursive  ..." gives
# -r and --recursive.
options_of() { grep -E '^ +-' | sed -E 's/^ +//; s/  .*//' | grep -oE -- '--?[a-z][a-z-]*' | sort -u; }

expect_tag() {  # expect_tag PAGE SECTION-TEXT WHAT PATTERN
  if ! grep -qE "$4" <<<"$2"; then
    echo "FAIL: $1 has no paragraph for $3" >&2
    failures=$((failures + 1))
  fi
}

help=$("$cli" --help)
text=$(render "$cli_page")
commands=$(section COMMANDS <<<"$text")
opts=$(section OPTIONS <<<"$text")
status=$(section "EXIT STATUS" <<<"$text")
for command in $(grep -oE '^  brindle-cli [a-z]+ ' <<<"$help" | awk '{print $2}' | sort -u); do
  expect_tag "$cli_page" "$commands" "the command $command" "^ {7}(brindle-cli )?$command( |$)"
done
for option in $(sed -n '/^Options:/,/^$/p' <<<"$help" | options_of); do
  expect_tag "$cli_page" "$opts" "the option $option" "^ {7}(-[a-z-]+, )*$option( |,|$)"
done
for code in $(sed -n '/^Exit codes:/,/^$/p' <<<"$help" | grep -oE '^  [0-9]+'); do
  expect_tag "$cli_page" "$status" "the exit code $code" "^ {7}$code( |$)"
done

help=$("$app" --help)
text=$(render "$app_page")
opts=$(section OPTIONS <<<"$text")
for option in $(options_of <<<"$help"); do
  expect_tag "$app_page" "$opts" "the option $option" "^ {7}(-[a-z-]+, )*$option( |,|$)"
done

[ "$failures" -eq 0 ] || exit 1
echo "Both man pages describe every command, option and exit code of --help."
