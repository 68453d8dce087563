#!/usr/bin/env bash
# Starts and stops the HTTP servers of the network tests, on 127.0.0.1 with
# ports chosen free at start, configurations in a temporary run folder:
#   httpservers.sh start <ini>   starts them and writes <ini> (ports, folders)
#   httpservers.sh stop <ini>    stops what <ini> names, by PID, and removes the run folder
# Servers: nginx (files, /private/ behind basic authentication, redirects),
# tinyproxy as the proxy, and recorder.py, which keeps each request's bytes
# and fakes broken replies.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
PY=/usr/bin/python3
action=$1
ini=$2

freeport() { $PY -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

wait_port() {  # port pid name
  local i
  for i in $(seq 1 100); do
    if ! kill -0 "$2" 2>/dev/null; then echo "httpservers: $3 ended at start" >&2; return 1; fi
    if $PY -c "import socket,sys; socket.create_connection(('127.0.0.1',$1),0.2).close()" 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "httpservers: $3 does not answer on port $1" >&2
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
  case "$run" in /tmp/ov-http.*) rm -rf "$run" ;; esac
  rm -f "$ini"
}

start_nginx() {  # run port
  local run=$1 port=$2
  cat >"$run/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $run/nginx.pid;
error_log $run/error.log;
events { worker_connections 64; }
http {
  log_format requests '\$request|\$http_host|\$http_authorization|\$http_cookie|\$status';
  access_log $run/access.log requests;
  client_body_temp_path $run/tmp/body;
  proxy_temp_path $run/tmp/proxy;
  fastcgi_temp_path $run/tmp/fastcgi;
  uwsgi_temp_path $run/tmp/uwsgi;
  scgi_temp_path $run/tmp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port;
    root $run/www;
    location /private/ {
      auth_basic "tests";
      auth_basic_user_file $run/htpasswd;
    }
    location = /moved { add_header Set-Cookie "session=n1"; return 302 /hello.txt; }
    location = /loop { return 302 /loop; }
  }
}
CONF
  nginx -e "$run/error.log" -p "$run" -c "$run/nginx.conf" >>"$run/nginx.out" 2>&1 &
  echo $!
}

start() {
  stop
  local run
  run=$(mktemp -d /tmp/ov-http.XXXXXX)
  chmod 755 "$run"
  mkdir -p "$run/www/private" "$run/www/dir" "$run/tmp"
  printf 'hello from nginx\n' >"$run/www/hello.txt"
  printf 'inside the folder\n' >"$run/www/dir/file.zip"
  printf 'the private page\n' >"$run/www/private/secret.txt"
  printf 'the index\n' >"$run/www/index.html"
  head -c $((100 << 20)) /dev/urandom >"$run/www/big.bin"
  chmod -R a+rX "$run/www"
  echo "test:$(openssl passwd -apr1 secret)" >"$run/htpasswd"
  chmod 644 "$run/htpasswd"
  {
    echo "run=$run"
    echo "www=$run/www"
  } >"$ini"

  local port pid tries
  for tries in 1 2 3; do
    port=$(freeport)
    pid=$(start_nginx "$run" "$port")
    if wait_port "$port" "$pid" nginx 2>/dev/null; then break; fi
    kill "$pid" 2>/dev/null || true
    [ $tries = 3 ] && { cat "$run/error.log" "$run/nginx.out" >&2; echo "httpservers: nginx did not start" >&2; return 1; }
  done
  echo "nginx=$port" >>"$ini"; echo "pid=$pid" >>"$ini"

  local pport
  for tries in 1 2 3; do
    pport=$(freeport)
    cat >"$run/tinyproxy.conf" <<CONF
User nobody
Group nogroup
Port $pport
Listen 127.0.0.1
Timeout 60
LogFile "$run/tinyproxy.log"
LogLevel Info
MaxClients 20
Allow 127.0.0.1
CONF
    touch "$run/tinyproxy.log"; chown 65534:65534 "$run/tinyproxy.log"
    tinyproxy -d -c "$run/tinyproxy.conf" >>"$run/tinyproxy.out" 2>&1 &
    pid=$!
    if wait_port "$pport" "$pid" tinyproxy 2>/dev/null; then break; fi
    kill "$pid" 2>/dev/null || true
    [ $tries = 3 ] && { cat "$run/tinyproxy.out" >&2; echo "httpservers: tinyproxy did not start" >&2; return 1; }
  done
  echo "tinyproxy=$pport" >>"$ini"; echo "pid=$pid" >>"$ini"

  $PY "$here/recorder.py" "$run" >>"$run/recorder.out" 2>&1 &
  pid=$!
  echo "pid=$pid" >>"$ini"
  local i
  for i in $(seq 1 100); do
    [ -s "$run/recorder.port" ] && break
    kill -0 "$pid" 2>/dev/null || { cat "$run/recorder.out" >&2; return 1; }
    sleep 0.1
  done
  echo "recorder=$(cat "$run/recorder.port")" >>"$ini"
  echo "httpservers: started ($ini)"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop <ini>" >&2; exit 2 ;;
esac
