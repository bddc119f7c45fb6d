#!/bin/sh
# Kavro given any argument writes one usage line on standard error and exits with
# status 2, reading and writing neither file: a kavro.cmd beside it stays unrun.
# usage: kavro_usage_test.sh KAVRO
set -eu
kavro=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'getips\n' >kavro.cmd
for arguments in --help -h kavro '' 'getips extra'; do
  status=0
  # shellcheck disable=SC2086 # one row passes two words
  "$kavro" ${arguments:-""} >out 2>err || status=$?
  fail() { echo "Kavro '$arguments': $1" >&2; exit 1; }
  [ "$status" -eq 2 ] || fail "exit status $status, not 2"
  [ "$(wc -l <err)" -eq 1 ] && grep -q '^>\[dispatch-usage\] usage: Kavro' err || fail "standard error: $(cat err)"
  [ ! -s out ] || fail "standard output: $(cat out)"
  [ ! -e log.txt ] || fail "log.txt was written"
  [ "$(cat kavro.cmd)" = getips ] || fail "kavro.cmd changed"
done
echo "ok: Kavro refuses arguments"
