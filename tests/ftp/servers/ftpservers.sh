#!/usr/bin/env bash
# Starts and stops the FTP servers of the network tests, on 127.0.0.1 with
# ports chosen free at start, configurations in a temporary run folder:
#   ftpservers.sh start <ini>   starts them and writes <ini> (ports, folders)
#   ftpservers.sh stop <ini>    stops what <ini> names, by PID, and removes the run folder
# Servers: ProFTPD with a virtual user, ftp-proxy in front of it (USER
# user@host:port), our relay for the OPEN/SITE/firewall logins, and the
# scripted odd servers of fakeftp.py.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
PY=/usr/bin/python3
action=$1
ini=$2

freeport() { $PY -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

wait_port() {  # port pid name
  local i
  for i in $(seq 1 100); do
    if ! kill -0 "$2" 2>/dev/null; then echo "ftpservers: $3 ended at start" >&2; return 1; fi
    if $PY -c "import socket,sys; socket.create_connection(('127.0.0.1',$1),0.2).close()" 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "ftpservers: $3 does not answer on port $1" >&2
  return 1
}

wait_file() {  # file pid name
  local i
  for i in $(seq 1 100); do
    [ -s "$1" ] && return 0
    if ! kill -0 "$2" 2>/dev/null; then echo "ftpservers: $3 ended at start" >&2; return 1; fi
    sleep 0.1
  done
  echo "ftpservers: $3 did not start" >&2
  return 1
}

stop() {
  [ -f "$ini" ] || return 0
  local run pid
  run=$(sed -n 's/^run=//p' "$ini")
  for pid in $(sed -n 's/^pid=//p' "$ini"); do
    kill "$pid" 2>/dev/null || true
  done
  for pid in $(sed -n 's/^pid=//p' "$ini"); do
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  case "$run" in /tmp/ov-ftp.*) rm -rf "$run" ;; esac
  rm -f "$ini"
}

start_proftpd() {  # run name port root
  local run=$1 name=$2 port=$3 root=$4 base=$(( (RANDOM % 300) * 100 + 20000 ))
  cat >"$run/$name.conf" <<CONF
ServerType standalone
DefaultAddress 127.0.0.1
SocketBindTight on
Port $port
UseIPv6 off
User nobody
Group nogroup
PidFile $run/$name.pid
ScoreboardFile $run/$name.scoreboard
SystemLog $run/$name.system.log
TransferLog $run/$name.xfer.log
LogFormat cmds "%m %J -> %s"
ExtendedLog $run/$name.commands.log ALL cmds
WtmpLog off
UseReverseDNS off
AuthOrder mod_auth_file.c
AuthUserFile $run/ftp.passwd
AuthGroupFile $run/ftp.group
RequireValidShell off
DefaultRoot ~
PassivePorts $base $((base + 99))
AllowOverwrite on
AllowStoreRestart on
Umask 022
DelayEngine off
MaxInstances 50
<Directory />
  AllowOverwrite on
</Directory>
CONF
  proftpd -n -c "$run/$name.conf" >>"$run/$name.out" 2>&1 &
  echo $!
}

start() {
  stop
  local run
  run=$(mktemp -d /tmp/ov-ftp.XXXXXX)
  chmod 755 "$run"
  mkdir -p "$run/ftproot/incoming" "$run/ftproot/pub" "$run/fakeroot"
  chown -R 65534:65534 "$run/ftproot" "$run/fakeroot"
  echo "tester:$(openssl passwd -6 secret):65534:65534::$run/ftproot:/bin/false" >"$run/ftp.passwd"
  echo "testers:x:65534:" >"$run/ftp.group"
  chmod 600 "$run/ftp.passwd" "$run/ftp.group"
  {
    echo "run=$run"
    echo "root=$run/ftproot"
    echo "fakeroot=$run/fakeroot"
  } >"$ini"

  local port pid tries
  for tries in 1 2 3; do
    port=$(freeport)
    pid=$(start_proftpd "$run" proftpd "$port" "$run/ftproot")
    if wait_port "$port" "$pid" proftpd 2>/dev/null; then break; fi
    kill "$pid" 2>/dev/null || true
    [ $tries = 3 ] && { cat "$run/proftpd.out" >&2; echo "ftpservers: proftpd did not start" >&2; return 1; }
  done
  echo "proftpd=$port" >>"$ini"; echo "pid=$pid" >>"$ini"
  local upstream=$port

  local pport
  for tries in 1 2 3; do
    pport=$(freeport)
    cat >"$run/ftp-proxy.conf" <<CONF
[-Global-]
Port $pport
Listen 127.0.0.1
DestinationAddress 127.0.0.1
DestinationPort $upstream
DestinationTransferMode client
AllowMagicUser yes
User nobody
Group nogroup
PidFile $run/proxy/ftp-proxy.pid
LogDestination $run/proxy/ftp-proxy.log
LogLevel INF
PassiveMinDataPort $(( (RANDOM % 300) * 100 + 20000 ))
CONF
    sed -i "s/^PassiveMinDataPort \(.*\)/PassiveMinDataPort \1\nPassiveMaxDataPort \1/" "$run/ftp-proxy.conf"
    awk '/^PassiveMaxDataPort/{$2=$2+99}1' "$run/ftp-proxy.conf" >"$run/ftp-proxy.conf.new" && mv "$run/ftp-proxy.conf.new" "$run/ftp-proxy.conf"
    mkdir -p "$run/proxy" && chown 65534:65534 "$run/proxy"
    ftp-proxy -d -n -f "$run/ftp-proxy.conf" >>"$run/ftp-proxy.out" 2>&1 &
    pid=$!
    if wait_port "$pport" "$pid" ftp-proxy 2>/dev/null; then break; fi
    kill "$pid" 2>/dev/null || true
    [ $tries = 3 ] && { cat "$run/ftp-proxy.out" >&2; echo "ftpservers: ftp-proxy did not start" >&2; return 1; }
  done
  echo "ftpproxy=$pport" >>"$ini"; echo "pid=$pid" >>"$ini"

  $PY "$here/relay.py" "$run" "$upstream" fwuser fwsecret >>"$run/relay.out" 2>&1 &
  pid=$!
  echo "pid=$pid" >>"$ini"
  wait_file "$run/relay.port" "$pid" relay
  echo "relay=$(cat "$run/relay.port")" >>"$ini"

  $PY "$here/fakeftp.py" "$run" "$run/fakeroot" tester secret >>"$run/fake.out" 2>&1 &
  pid=$!
  echo "pid=$pid" >>"$ini"
  wait_file "$run/fake.ports" "$pid" fakeftp
  sed 's/^/fake./' "$run/fake.ports" >>"$ini"
  # A file ready for downloads on every server.
  printf 'good zip\n' >"$run/fakeroot/good.zip"
  chmod 644 "$run/fakeroot/good.zip"
  echo "ftpservers: started ($ini)"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop <ini>" >&2; exit 2 ;;
esac
