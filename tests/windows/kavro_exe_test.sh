#!/usr/bin/env bash
# Kavro.exe under Wine, black box, run as the window runs it: no arguments, in a
# folder holding the command file, the result file compared byte for byte.
# usage: kavro_exe_test.sh resources|exchange|forward KAVRO_EXE LAB OBJDUMP [PROGRAM_EXE...]
#        kavro_exe_test.sh renewal_task KAVRO_EXE LAB RENEWAL_TASK_PROBE_EXE
set -euo pipefail
case_name=$1 KAVRO=$2 lab=$3
shift 3
. "$(dirname "$0")/wine_test_lib.sh"

# expect COMMAND RESULT [SHELL_PREFIX]: one run ("-": no command file); log.txt then
# holds RESULT. With a prefix, the run goes through the command shell after it.
expect() {
  rm -f "$work/log.txt" "$work/kavro.cmd"
  [ "$1" = - ] || printf '%s' "$1" >"$work/kavro.cmd"
  (cd "$work" && if [ -n "${3:-}" ]; then wine cmd /c "$3$(winepath -w "$KAVRO")"; else wine "$KAVRO"; fi) \
    </dev/null >"$work/console.txt" 2>&1 || fail "wine Kavro.exe exited with $?"
  expect_bytes "$work/log.txt" "$2" "after ${1@Q}${3:+ through \"$3\"}"
}

# Each program (Kavro, KavroBackground, Varneth) carries an icon group (resource type
# 14) and, where the loader looks (type 24, number 1), a manifest that runs it with the
# caller's rights.
resources() {
  local objdump=$1 program table; shift
  for program in "$KAVRO" "$@"; do
    table=$("$objdump" -p "$program" | grep -A2 -E '^[0-9a-f]+   Entry: ID: 0x0000(0e|18),')
    grep -q 'ID: 0x00000e,' <<<"$table" || fail "$program: no icon group"
    grep -A2 'ID: 0x000018,' <<<"$table" | grep -q '     Entry: ID: 0x000001,' || fail "$program: no manifest"
    grep -aq 'level="asInvoker"' "$program" || fail "$program: the manifest asks for other rights"
  done
}

exchange() {
  local addresses command capture
  # Wine's ipconfig lists the namespace's addresses, loopback first, as ip does.
  addresses=$(ip -4 -o addr show | awk '{sub(/\/.*/, "", $4); printf "%s\r\n", $4}')$'\n'
  capture=$(winepath -u "$(cd "$work" && wine cmd /c 'echo %TEMP%' </dev/null | tr -d '\r')\\ip_c.tmp")
  expect - $'1\r\n'
  for command in $'getips\r\n' $'getips\r\nkavro\r\n10.77.0.2\r\n' getips; do expect "$command" "$addresses"; done
  # A capture that fails is ERROR, never an earlier run's addresses: no ipconfig on
  # the PATH, or an earlier capture left read-only, which cannot be replaced.
  expect $'getips\r\n' $'ERROR\r\n' 'set PATH=C:\nowhere&& '
  printf '    IPv4 address. . . . . . . . . . . : 6.6.6.6\r\n' >"$capture"
  chmod a-w "$capture"
  cleanup_steps+=("rm -f '$capture'")
  expect $'getips\r\n' $'ERROR\r\n'
}

# Through Wine's NAT object on the lab's miniupnpd, which refuses port 6666. Wine's
# object refuses 70000 itself, so only the module's reason shows that it never sent it.
forward() {
  in_lab
  local fresh=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 )) row port tcp udp result held reason
  for row in "$fresh|TRUE|TRUE|0|TCP UDP|" "6666|TRUE|TRUE|Invalid IP||" \
             "70000|TRUE|FALSE|Invalid IP||TCP 70000 was not asked for"; do
    IFS='|' read -r port tcp udp result held reason <<<"$row"
    expect "kavro"$'\r\n10.77.0.2\r\n'"$port"$'\r\n'"$tcp"$'\r\n'"$udp"$'\r\n' "$result"$'\r\n'
    expect_held "$port" "$held"
    [ -z "$reason" ] || grep -qF "$reason" "$work/console.txt" || fail "port $port: no \"$reason\" in: $(cat "$work/console.txt")"
  done
}

# The renewal task, as the record's writes keep it: registered while anything is
# recorded and read back from the scheduler on its own (ITaskFolder::GetTask), and gone
# once nothing is. Wine keeps a task's name, description and settings, but drops its
# triggers, action and principal, and never starts a task at logon, on resume or on a
# schedule: so the command the task is given is started here by hand, in its folder.
renewal_task() {
  local probe=$1 task folder
  show() { wine "$probe" show </dev/null 2>&1 | tr -d '\r'; }
  follow() {
    wine "$probe" follow "$1" </dev/null >"$work/console.txt" 2>&1 || fail "the probe exited with $?"
    ! grep -q '^>> ' "$work/console.txt" || fail "follow $1 told: $(cat "$work/console.txt")"
  }
  follow 0
  [ "$(show)" = absent ] || fail "a task was there before anything was recorded: $(show)"

  follow 1
  task=$(show)
  for piece in '<Description>Keeps the ports opened with the Port Forwarding Tool open on the router.</Description>' \
               '<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>' '<StartWhenAvailable>true</StartWhenAvailable>' \
               '<ExecutionTimeLimit>PT1M</ExecutionTimeLimit>'; do
    grep -qF "$piece" <<<"$task" || fail "no $piece in:"$'\n'"$task"
  done
  folder=$(winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' </dev/null | tr -d '\r')\\Varneth\\renew")
  expect_bytes "$folder/kavro.cmd" $'renew\r\n' "the task's command file"
  follow 1
  [ "$(show)" = "$task" ] || fail "a second record write changed the task"

  # The task's command, by hand: Kavro runs in the task's folder, on its command file.
  printf 'getips\r\n' >"$folder/kavro.cmd"
  rm -f "$folder/log.txt"
  (cd "$folder" && wine "$(dirname "$probe")/KavroBackground.exe" </dev/null) || fail "KavroBackground.exe exited with $?"
  grep -qE '^[0-9]+(\.[0-9]+){3}' "$folder/log.txt" || fail "KavroBackground.exe did not run Kavro in its folder"
  follow 1
  expect_bytes "$folder/kavro.cmd" $'renew\r\n' "the command file put back"

  follow 0
  [ "$(show)" = absent ] || fail "the task stayed after the record emptied: $(show)"

  # Without KavroBackground.exe beside it, no task is registered and the user is told.
  cp "$probe" "$work/"
  wine "$work/$(basename "$probe")" follow 1 </dev/null >"$work/console.txt" 2>&1
  grep -q '^>> Forwards made here will not be kept open: KavroBackground.exe is missing' "$work/console.txt" ||
    fail "no headline for a missing KavroBackground.exe: $(cat "$work/console.txt")"
  [ "$(show)" = absent ] || fail "a task was registered for a missing program"
}

"$case_name" "$@"
echo "ok: $case_name"
