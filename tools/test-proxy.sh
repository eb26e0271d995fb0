#!/usr/bin/env bash
# The proxy tests' squid on loopback, standing in for a corporate proxy:
#   127.0.0.4:3128  open to loopback clients
#   127.0.0.4:3129  answers 407 to anyone without Basic credentials (a proxy the logged-on user cannot
#                   sign in to)
#   127.0.0.4:3130  asks for NTLM, the scheme that signs in with the logged-on user, and accepts any
#                   NTLM sign-in that completes (squid's ntlm_fake_auth)
# Its own hosts file is the only place the name "payload.corp.test" resolves (to the loopback nginx of
# tools/test-servers.sh), so a client reaches that host through the proxy or not at all, as on a network
# whose internal names only the proxy knows. Plain requests and CONNECT to ports 80, 443 and 8443 pass.
# Log the tests read: DIR/logs/access.log, one line per request (a CONNECT tunnel is logged when it
# closes, a moment after its client ends):
#   client-port method URL status bytes user
#
# usage: test-proxy.sh start|stop [DIR]     DIR defaults to build/proxy
# start is idempotent: a squid already running for DIR is kept; one left over from another run of
# this script (stale pid file, ports held) is replaced.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$(mkdir -p "${2:-$here/build/proxy}" && cd "${2:-$here/build/proxy}" && pwd)
address=127.0.0.4
ports=(3128 3129 3130)
marker="# loopback test proxy (tools/test-proxy.sh)"

log() { echo "test-proxy: $*" >&2; }

write_conf() {
  mkdir -p "$dir/logs"
  # squid drops to its own account after start; its logs and pid file must be its to write.
  chown proxy:proxy "$dir/logs" 2>/dev/null || chmod 777 "$dir/logs"
  chmod 755 "$dir"
  printf '127.0.0.1 payload.corp.test localhost\n' >"$dir/hosts"
  # Nobody knows a password of this file: every request on the sign-in port ends with 407.
  printf 'nobody:!\n' >"$dir/passwords"
  cat >"$dir/squid.conf" <<EOF
$marker
http_port $address:${ports[0]} name=open
http_port $address:${ports[1]} name=signin
http_port $address:${ports[2]} name=ntlm
pid_filename $dir/logs/squid.pid
cache_log $dir/logs/cache.log
logformat tests %lp %rm %ru %>Hs %<st %un
access_log stdio:$dir/logs/access.log tests
buffered_logs off
cache_store_log none
cache deny all
hosts_file $dir/hosts
dns_nameservers 127.0.0.1
coredump_dir $dir/logs
pinger_enable off
shutdown_lifetime 0 seconds
client_persistent_connections on
server_persistent_connections on
auth_param basic program /usr/lib/squid/basic_ncsa_auth $dir/passwords
auth_param basic realm loopback test proxy
auth_param ntlm program /usr/lib/squid/ntlm_fake_auth
auth_param ntlm children 2
acl signin_port myportname signin
acl ntlm_port myportname ntlm
auth_schemes basic signin_port
auth_schemes ntlm ntlm_port
acl signed_in proxy_auth REQUIRED
acl test_ports port 80 443 8443
acl CONNECT method CONNECT
acl loopback src 127.0.0.0/8
http_access deny !test_ports
http_access deny signin_port !signed_in
http_access deny ntlm_port !signed_in
http_access allow loopback
http_access deny all
EOF
}

running() {
  [ -n "$1" ] && [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

listener_pid() {
  ss -Hltnp "sport = :$2" 2>/dev/null | grep -F " $1:$2 " | grep -o 'pid=[0-9]*' | head -1 | cut -d= -f2 || true
}

wait_for() {  # wait_for listening|free PORT
  for _ in $(seq 200); do
    local pid
    pid=$(listener_pid "$address" "$2")
    if [ "$1" = listening ] && [ -n "$pid" ]; then return 0; fi
    if [ "$1" = free ] && [ -z "$pid" ]; then return 0; fi
    sleep 0.05
  done
  log "$address:$2 did not become $1"
  return 1
}

# A port held by a squid of this script (any folder) is freed; anything else is reported.
free_port() {
  local pid conf
  pid=$(listener_pid "$address" "$1")
  [ -z "$pid" ] && return 0
  conf=$(tr '\0' ' ' </proc/"$pid"/cmdline 2>/dev/null | grep -o -- '-f [^ ]*' | cut -c4- || true)
  if [ -z "$conf" ]; then  # a kid process: its parent holds the command line
    local parent
    parent=$(awk '/^PPid:/ { print $2 }' /proc/"$pid"/status 2>/dev/null || true)
    conf=$(tr '\0' ' ' </proc/"$parent"/cmdline 2>/dev/null | grep -o -- '-f [^ ]*' | cut -c4- || true)
    pid=$parent
  fi
  if [ -n "$conf" ] && grep -qF "$marker" "$conf" 2>/dev/null; then
    log "replacing a leftover squid on $address:$1 (pid $pid)"
    kill "$pid" 2>/dev/null || true
    wait_for free "$1"
  else
    log "$address:$1 is held by another program (pid $pid)"
    return 1
  fi
}

squid_pid() { cat "$dir/logs/squid.pid" 2>/dev/null || true; }

start() {
  write_conf
  if running "$(squid_pid)" && [ -n "$(listener_pid "$address" "${ports[0]}")" ]; then
    squid -f "$dir/squid.conf" -k reconfigure 2>>"$dir/logs/squid.out" && return 0
  fi
  local port
  for port in "${ports[@]}"; do free_port "$port"; done
  rm -f "$dir/logs/squid.pid"
  squid -f "$dir/squid.conf" </dev/null >>"$dir/logs/squid.out" 2>&1 9>&-
  for port in "${ports[@]}"; do wait_for listening "$port"; done
}

stop() {
  local pid
  pid=$(squid_pid)
  if running "$pid"; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 200); do
      running "$pid" || break
      sleep 0.05
    done
  fi
  local port
  for port in "${ports[@]}"; do wait_for free "$port" || true; done
}

case "${1:-}" in
  start)
    exec 9>"$dir.lock"
    flock 9
    start
    log "squid on $address:${ports[0]} (open), :${ports[1]} (Basic sign-in) and :${ports[2]} (NTLM) for $dir"
    ;;
  stop)
    exec 9>"$dir.lock"
    flock 9
    stop
    ;;
  *)
    echo "usage: $0 start|stop [DIR]" >&2
    exit 2
    ;;
esac
