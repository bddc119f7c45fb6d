#!/bin/sh
# Test-only stand-in for the module, driven through the folder $STANDIN_DIR. Each run
# notes its process id, its directory and its command file in hex in "runs", copies
# "answer" (when there is one) to log.txt and "errors" and "output" to its streams.
# STANDIN_TROUBLE=link leaves log.txt as a link to "answer" instead, =fifo as a FIFO
# nobody writes; =slow answers after 1 s; =linger runs on for 15 s after answering;
# =kill ends it by SIGKILL.
printf '%s\t%s\t%s\n' $$ "$(pwd -P)" "$(od -An -v -tx1 kavro.cmd 2>/dev/null | tr -d ' \n')" >>"$STANDIN_DIR/runs"
[ "$STANDIN_TROUBLE" != slow ] || sleep 1
if [ "$STANDIN_TROUBLE" = link ]; then
  ln -s "$STANDIN_DIR/answer" log.txt
elif [ "$STANDIN_TROUBLE" = fifo ]; then
  mkfifo log.txt
elif [ -e "$STANDIN_DIR/answer" ]; then
  cat "$STANDIN_DIR/answer" >log.txt
fi
cat "$STANDIN_DIR/errors" >&2
cat "$STANDIN_DIR/output"
case $STANDIN_TROUBLE in
  linger) exec sleep 15 ;;
  kill) kill -KILL $$ ;;
esac
