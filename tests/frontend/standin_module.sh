#!/bin/sh
# Test-only stand-in for the module, driven through the folder $STANDIN_DIR. Each run
# notes its process id, its directory, its command file in hex and the directory's mode
# in "runs", copies "answer" (when there is one) to log.txt and "errors" and "output" to
# its streams; "answer.WORD" and the others so named instead when the command word is WORD.
# STANDIN_TROUBLE=fifo leaves log.txt as a FIFO nobody writes instead; =password says a password
# is asked for and answers after 11 s, past the window's 10 s; =linger runs on for 15 s after
# answering; =kill ends it by SIGKILL; with STANDIN_TROUBLE_FOR=WORD, only runs of that word.
printf '%s\t%s\t%s\t%s\n' $$ "$(pwd -P)" "$(od -An -v -tx1 kavro.cmd 2>/dev/null | tr -d ' \n')" "$(stat -c %a .)" \
  >>"$STANDIN_DIR/runs"
word=$(head -n 1 kavro.cmd 2>/dev/null)
pick() { if [ -e "$STANDIN_DIR/$1.$word" ]; then echo "$STANDIN_DIR/$1.$word"; else echo "$STANDIN_DIR/$1"; fi; }
answer=$(pick answer) errors=$(pick errors) output=$(pick output)
[ -z "$STANDIN_TROUBLE_FOR" ] || [ "$STANDIN_TROUBLE_FOR" = "$word" ] || STANDIN_TROUBLE=
[ "$STANDIN_TROUBLE" != password ] || { echo ">[firewall-password-asked] Waiting for the password." >&2; sleep 11; }
if [ "$STANDIN_TROUBLE" = fifo ]; then
  mkfifo log.txt
elif [ -e "$answer" ]; then
  cat "$answer" >log.txt
fi
cat "$errors" >&2
cat "$output"
case $STANDIN_TROUBLE in
  linger) exec sleep 15 ;;
  kill) kill -KILL $$ ;;
esac
