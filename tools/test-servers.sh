#!/usr/bin/env bash
# The download and analytics tests' web servers, all on loopback:
#   nginx        127.0.0.1:80 and 127.0.0.1:443 (TLS for "localhost" and "payload.corp.test", signed by a throw-away CA that
#                the system store trusts, so Wine's WinHTTP and WinINet accept it); it serves
#                DIR/www, answers /collect like the analytics endpoint, passes /fault/... on to the
#                fault server and serves /slow/... at 4 MiB/s per connection; while DIR/www/.slow-downloads
#                exists, everything else at 48 KiB/s per connection (the demo); while DIR/www/.refuse-https
#                exists, HTTPS requests outside /collect are dropped unanswered; while DIR/www/.fault-route
#                exists, every request outside /collect goes to the fault server (its /route/ mode);
#                /mixed/FILE answers the size query over HTTPS, drops ranges over HTTPS and serves
#                other bytes over plain HTTP. 127.0.0.1:8443 serves DIR/www over TLS 1.2 and 1.3 only.
#   fault server 127.0.0.2:80, plain HTTP (tools/fault-server.py); 127.0.0.2:8444 accepts and never
#                answers, 127.0.0.2:8445 never completes a connect.
# Logs the tests read: DIR/logs/access.log (nginx), DIR/logs/capture.log (nginx: requests to
# /mp/collect with their bodies) and DIR/logs/fault.log (fault server).
#
# usage: test-servers.sh start|stop [DIR]     DIR defaults to build/servers
# start is idempotent: servers already running for DIR are kept; servers left over from another run
# (stale pid files, ports still held by an earlier instance of these servers) are replaced.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$(mkdir -p "${2:-$here/build/servers}" && cd "${2:-$here/build/servers}" && pwd)
ca_dir=${SETUP_TEST_CA_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/setup-test-ca}
ca_store=/usr/local/share/ca-certificates/setup-test-ca.crt
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

marker="# loopback test servers (tools/test-servers.sh)"
proxy_only_host=payload.corp.test

log() { echo "test-servers: $*" >&2; }

# -- certificates -------------------------------------------------------------------------------

make_ca() {
  mkdir -p "$ca_dir"
  if ! openssl x509 -checkend 86400 -noout -in "$ca_dir/ca.crt" >/dev/null 2>&1; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Setup Test Loopback CA" \
      -keyout "$ca_dir/ca.key" -out "$ca_dir/ca.crt" 2>/dev/null
    rm -f "$ca_dir/localhost.crt"
  fi
  # The proxy tests reach nginx under a name only their proxy resolves (tools/test-proxy.sh); a
  # certificate made before that name was added is made again.
  if ! openssl x509 -checkend 86400 -noout -in "$ca_dir/localhost.crt" >/dev/null 2>&1 ||
    ! openssl x509 -noout -ext subjectAltName -in "$ca_dir/localhost.crt" 2>/dev/null | grep -q "DNS:$proxy_only_host"; then
    openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
      -keyout "$ca_dir/localhost.key" -out "$ca_dir/localhost.csr" 2>/dev/null
    printf 'subjectAltName=DNS:localhost,DNS:%s,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' "$proxy_only_host" >"$ca_dir/ext.cnf"
    openssl x509 -req -in "$ca_dir/localhost.csr" -CA "$ca_dir/ca.crt" -CAkey "$ca_dir/ca.key" \
      -CAcreateserial -days 825 -extfile "$ca_dir/ext.cnf" -out "$ca_dir/localhost.crt" 2>/dev/null
  fi
  if ! cmp -s "$ca_dir/ca.crt" "$ca_store"; then
    $SUDO install -m 644 "$ca_dir/ca.crt" "$ca_store"
    $SUDO update-ca-certificates >/dev/null 2>&1
  fi
}

# -- nginx --------------------------------------------------------------------------------------

write_nginx_conf() {
  # IPv6 literal addresses are tested where loopback has ::1.
  local v6_listen=""
  if ip -6 addr show lo 2>/dev/null | grep -q '::1/128'; then v6_listen="listen [::1]:80;"; fi
  mkdir -p "$dir/www" "$dir/logs" "$dir/tmp"
  chmod 755 "$dir" "$dir/www"
  cat >"$dir/nginx.conf" <<EOF
$marker
worker_processes 2;
pid $dir/nginx.pid;
error_log $dir/logs/error.log warn;
events { worker_connections 1024; }
http {
  log_format tests '\$scheme \$server_port \$request_method "\$request_uri" \$status \$body_bytes_sent "\$http_range"';
  access_log $dir/logs/access.log tests;
  # The analytics tests compare request bodies byte for byte: logged unescaped, one request a line.
  log_format capture escape=none '\$scheme \$server_port \$request_method "\$request_uri" "\$content_type" \$request_body';
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 10000;
  types { application/octet-stream bin exe; application/x-ns-proxy-autoconfig pac; }
  default_type application/octet-stream;
  # The analytics tests ask for an HTTPS failure by starting the client id with "refuse-https".
  map "\$scheme:\$arg_cid" \$refuse_collect { ~^https:refuse-https 1; default 0; }
  map \$http_range \$uneven_rate { ~^bytes=0- 1m; default 4m; }
  server {
    listen 127.0.0.1:80;
    listen 127.0.0.1:443 ssl;
    $v6_listen
    server_name localhost $proxy_only_host;
    ssl_certificate $ca_dir/localhost.crt;
    ssl_certificate_key $ca_dir/localhost.key;
    root $dir/www;
    location = /collect {
      if (\$refuse_collect) { return 444; }
      return 200;
    }
    # The current Measurement Protocol's endpoint: nginx reads the body (\$request_body is set only
    # for a request it passes on) and hands it to an empty answer of its own.
    location = /mp/collect {
      access_log $dir/logs/access.log tests;
      access_log $dir/logs/capture.log capture;
      proxy_pass http://127.0.0.1:80/mp-answer;
    }
    location = /mp-answer {
      access_log off;
      return 204;
    }
    location /fault/ {
      proxy_pass http://127.0.0.2:80/;
      proxy_buffering off;
      proxy_request_buffering off;
      proxy_http_version 1.1;
      proxy_read_timeout 150s;
    }
    # One file, two schemes: HTTPS answers the size query but drops every range request, plain HTTP
    # serves other bytes (the fault server's /altered/), as a network that blocks 443 and answers 80
    # would.
    location /mixed/ {
      set \$mixed "\$scheme:\$http_range";
      if (\$mixed ~ ^https:.) { return 444; }
      if (\$scheme = http) { rewrite ^/mixed/(.*)\$ /fault/altered/\$1 last; }
      alias $dir/www/;
    }
    # Redirects: down to plain HTTP, to another path, and round in a loop.
    location ~ ^/tohttp/(.*)\$ { return 302 http://localhost/\$1; }
    location ~ ^/moved/(.*)\$ { return 301 https://localhost/\$1; }
    location ~ ^/loop/(.*)\$ { return 302 /loop/\$1; }
    location /slow/ {
      alias $dir/www/;
      limit_rate 4m;
    }
    # The benchmark's uneven network: the range that starts at byte 0 comes at 1 MiB/s, every other
    # request at 4 MiB/s, as one slow path among five connections.
    location /uneven/ {
      alias $dir/www/;
      limit_rate \$uneven_rate;
    }
    # While .slow-downloads exists every download crawls, so that a demonstration can show each
    # state; while .refuse-https exists HTTPS requests are dropped unanswered (plain HTTP still works);
    # while .fault-route exists the fault server answers, with the fault that file names.
    location / {
      if (-f $dir/www/.fault-route) { rewrite ^/(.*)\$ /fault/route/\$1 last; }
      if (-f $dir/www/.slow-downloads) { set \$limit_rate 48k; }
      set \$refuse_flag /nonexistent;
      if (\$scheme = https) { set \$refuse_flag $dir/www/.refuse-https; }
      if (-f \$refuse_flag) { return 444; }
    }
  }
  # A server that refuses TLS 1.0 and 1.1, as more and more do: clients on older Windows reach it only
  # when they ask for TLS 1.2 themselves.
  server {
    listen 127.0.0.1:8443 ssl;
    server_name localhost $proxy_only_host;
    ssl_protocols TLSv1.2 TLSv1.3;
    ssl_certificate $ca_dir/localhost.crt;
    ssl_certificate_key $ca_dir/localhost.key;
    root $dir/www;
  }
}
EOF
}

# True while PID runs (a zombie its parent has not reaped yet does not count).
running() {
  [ -n "$1" ] && [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# True when the pid file names a running process.
pid_alive() { running "$(cat "$1" 2>/dev/null || true)"; }

# True when the pid file's process is the one listening on ADDRESS:PORT.
pid_listens() {
  pid_alive "$1" && [ "$(listener_pid "$2" "$3")" = "$(cat "$1")" ]
}

# Pid of the process listening on ADDRESS:PORT, if any (for nginx, its master process).
listener_pid() {
  local pid
  pid=$(ss -Hltnp "sport = :$2" 2>/dev/null | grep -F " $1:$2 " | grep -o 'pid=[0-9]*' | head -1 | cut -d= -f2 || true)
  if [ -n "$pid" ] && tr '\0' ' ' </proc/"$pid"/cmdline 2>/dev/null | grep -q '^nginx: worker process'; then
    pid=$(awk '/^PPid:/ { print $2 }' /proc/"$pid"/status 2>/dev/null || true)
  fi
  echo "$pid"
}

# True when PID is one of these servers, started by this script for any folder.
is_our_server() {
  local cmd conf
  cmd=$(tr '\0' ' ' </proc/"$1"/cmdline 2>/dev/null || true)
  case "$cmd" in
    *fault-server.py*) return 0 ;;
    "nginx: master process"*" -c "*)
      conf=${cmd##* -c }
      conf=${conf%% *}
      grep -qF "$marker" "$conf" 2>/dev/null
      ;;
    *) return 1 ;;
  esac
}

# A port still held by an earlier instance of these servers (any build folder) is freed; anything
# else holding it is reported and left alone.
free_port() {
  local pid
  pid=$(listener_pid "$1" "$2")
  [ -z "$pid" ] && return 0
  if is_our_server "$pid"; then
    log "replacing a leftover server on $1:$2 (pid $pid)"
    kill "$pid" 2>/dev/null || true
    wait_until_free "$1" "$2"
  else
    log "$1:$2 is held by another program (pid $pid: $(tr '\0' ' ' </proc/"$pid"/cmdline 2>/dev/null))"
    return 1
  fi
}

wait_until_free() {
  for _ in $(seq 100); do
    [ -z "$(listener_pid "$1" "$2")" ] && return 0
    sleep 0.05
  done
  log "$1:$2 did not become free"
  return 1
}

wait_until_listening() {
  for _ in $(seq 100); do
    [ -n "$(listener_pid "$1" "$2")" ] && return 0
    sleep 0.05
  done
  log "nothing listens on $1:$2"
  return 1
}

start_nginx() {
  if pid_listens "$dir/nginx.pid" 127.0.0.1 80 && pid_listens "$dir/nginx.pid" 127.0.0.1 443; then
    nginx -p "$dir" -c "$dir/nginx.conf" -s reload </dev/null >/dev/null 2>&1 9>&- && return 0
  fi
  rm -f "$dir/nginx.pid"
  free_port 127.0.0.1 80
  free_port 127.0.0.1 443
  free_port 127.0.0.1 8443
  nginx -p "$dir" -c "$dir/nginx.conf" </dev/null >>"$dir/logs/nginx.out" 2>&1 9>&-
  wait_until_listening 127.0.0.1 80
  wait_until_listening 127.0.0.1 443
  wait_until_listening 127.0.0.1 8443
}

start_fault_server() {
  if pid_listens "$dir/fault.pid" 127.0.0.2 80; then return 0; fi
  rm -f "$dir/fault.pid"
  free_port 127.0.0.2 80
  free_port 127.0.0.2 8444
  free_port 127.0.0.2 8445
  setsid python3 "$here/tools/fault-server.py" --root "$dir/www" --log "$dir/logs/fault.log" \
    --pid "$dir/fault.pid" --silent-port 8444 --full-port 8445 </dev/null >>"$dir/logs/fault-server.out" 2>&1 9>&- &
  wait_until_listening 127.0.0.2 80
  wait_until_listening 127.0.0.2 8444
}

stop_pidfile() {
  local file=$1
  pid_alive "$file" || { rm -f "$file"; return 0; }
  local pid
  pid=$(cat "$file")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 100); do
    running "$pid" || break
    sleep 0.05
  done
  rm -f "$file"
}

case "${1:-}" in
  start)
    exec 9>"$dir.lock"
    flock 9
    make_ca
    write_nginx_conf
    start_nginx
    start_fault_server
    log "nginx on 127.0.0.1:80/443/8443 and the fault server on 127.0.0.2:80 serve $dir/www"
    ;;
  stop)
    exec 9>"$dir.lock"
    flock 9
    stop_pidfile "$dir/nginx.pid"
    stop_pidfile "$dir/fault.pid"
    # nginx's workers may hold the ports a moment after their master is gone.
    for port in 80 443 8443; do wait_until_free 127.0.0.1 $port || true; done
    ;;
  *)
    echo "usage: $0 start|stop [DIR]" >&2
    exit 2
    ;;
esac
