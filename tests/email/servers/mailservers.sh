#!/usr/bin/env bash
# Starts and stops the mail servers of the e-mail tests:
#   mailservers.sh start <ini>   starts them and writes <ini> (addresses, ports, folders)
#   mailservers.sh stop <ini>    stops what <ini> names, by PID, and removes the run folder
# The program always talks to port 25 (SMTP) and 110 (POP3), so the servers
# listen there, on loopback addresses of their own (127.x.y.1 for aiosmtpd
# and Dovecot, 127.x.y.2 for the scripted odd servers; nothing listens on
# 127.x.y.3), chosen at random so that other runs on this machine do not
# get in the way. Binding those ports needs root: without it the ini says
# why and the tests skip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
PY=/usr/bin/python3
action=$1
ini=$2

wait_port() {  # address port pid name
  local i
  for i in $(seq 1 100); do
    if ! kill -0 "$3" 2>/dev/null; then echo "mailservers: $4 ended at start" >&2; return 1; fi
    if $PY -c "import socket; socket.create_connection(('$1',$2),0.2).close()" 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "mailservers: $4 does not answer on $1:$2" >&2
  return 1
}

bound() {  # address port: true when something listens there
  $PY -c "import socket; socket.create_connection(('$1',$2),0.2).close()" 2>/dev/null
}

stop() {
  [ -f "$ini" ] || return 0
  local run pid
  run=$(sed -n 's/^run=//p' "$ini")
  for pid in $(sed -n 's/^pid=//p' "$ini"); do kill "$pid" 2>/dev/null || true; done
  for pid in $(sed -n 's/^pid=//p' "$ini"); do
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  case "$run" in /tmp/ov-mail.*) rm -rf "$run" ;; esac
  rm -f "$ini"
}

# A message file in a user's Maildir, owned by the mail user.
deliver() {  # run user name subject
  local dir=$1/home/$2/Maildir
  printf 'From: someone@example.test\r\nTo: %s@mail.test\r\nSubject: %s\r\n\r\nHello.\r\n' "$2" "$4" >"$dir/tmp/$3"
  chown 65534:65534 "$dir/tmp/$3"
  mv "$dir/tmp/$3" "$dir/new/$3"
}

start() {
  stop
  if [ "$(id -u)" != 0 ]; then
    echo "skip=the mail servers must listen on ports 25 and 110, which needs root" >"$ini"
    echo "mailservers: not started (not root)"
    return 0
  fi
  local run net a b tries
  for tries in 1 2 3 4 5; do
    net=127.$((100 + RANDOM % 100)).$((RANDOM % 256))
    bound $net.1 25 || bound $net.1 110 || bound $net.2 110 || bound $net.3 110 || break
  done
  run=$(mktemp -d /tmp/ov-mail.XXXXXX)
  chmod 755 "$run"
  mkdir -p "$run/out" "$run/run" "$run/state"
  for u in tester nomail inbox; do
    mkdir -p "$run/home/$u/Maildir/cur" "$run/home/$u/Maildir/new" "$run/home/$u/Maildir/tmp"
    echo "$u:{PLAIN}secret::::::" >>"$run/users"
  done
  chown -R 65534:65534 "$run/home"
  deliver "$run" tester 1.first First
  deliver "$run" tester 2.second Second
  {
    echo "run=$run"
    echo "addr=$net.1"
    echo "fakeaddr=$net.2"
    echo "closedaddr=$net.3"
    echo "out=$run/out"
    echo "homes=$run/home"
  } >"$ini"

  # The handler is imported from the source tree: no byte code left there.
  PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$here" $PY -m aiosmtpd -n -l "$net.1:25" -s 67108864 -c smtpsink.Sink "$run/out" "$run/home" \
    >>"$run/aiosmtpd.out" 2>&1 &
  local pid=$!
  echo "pid=$pid" >>"$ini"
  wait_port $net.1 25 $pid aiosmtpd || { cat "$run/aiosmtpd.out" >&2; return 1; }

  cat >"$run/dovecot.conf" <<CONF
instance_name = dovecot-$(basename "$run")
base_dir = $run/run
state_dir = $run/state
protocols = pop3
listen = $net.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
# No growing delays for the wrong passwords the tests send on purpose.
login_trusted_networks = 127.0.0.0/8
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
log_path = $run/dovecot.log
first_valid_uid = 1
passdb {
  driver = passwd-file
  args = username_format=%u $run/users
}
userdb {
  driver = static
  args = uid=65534 gid=65534 home=$run/home/%u
}
mail_location = maildir:~/Maildir
pop3_uidl_format = %08Xu%08Xv
service pop3-login {
  inet_listener pop3 {
    address = $net.1
    port = 110
  }
  inet_listener pop3s {
    port = 0
  }
}
CONF
  dovecot -F -c "$run/dovecot.conf" >>"$run/dovecot.out" 2>&1 &
  pid=$!
  echo "pid=$pid" >>"$ini"
  wait_port $net.1 110 $pid dovecot || { cat "$run/dovecot.out" "$run/dovecot.log" >&2; return 1; }

  $PY "$here/fakemail.py" "$run" $net.2 pop3_program=110 >>"$run/fake.out" 2>&1 &
  pid=$!
  echo "pid=$pid" >>"$ini"
  for _ in $(seq 1 100); do
    [ -s "$run/fake.ports" ] && break
    kill -0 $pid 2>/dev/null || { cat "$run/fake.out" >&2; return 1; }
    sleep 0.1
  done
  cat "$run/fake.ports" >>"$ini"
  echo "mailservers: started on $net.1 ($ini)"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop <ini>" >&2; exit 2 ;;
esac
