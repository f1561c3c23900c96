#!/usr/bin/env bash
# Runs a program inside network and mount namespaces of its own, where the forum host
# is 127.0.0.1 and a local server stands in for it:
#
#   unshare --net --mount online_namespace.sh MODE DIR PROGRAM [ARGUMENTS...]
#
# MODE  served   online (veth pair, default route); DIR/www is served on port 80
#       silent   online; port 80 accepts connections and never answers
#       stalled  online; port 80 answers 200 with a length, sends part of the body and
#                then never sends the rest
#       offline  no interface but lo, no route; DIR/www is still served on lo, so that
#                a fetch made in spite of being offline shows in the log
#       nodns    online, but the forum host is not in hosts and the name server
#                (10.253.0.2, on the veth's network) never answers; served as served
# DIR   the caller's scratch folder: the private hosts and resolv.conf go there, the
#       server writes DIR/server.pid and logs each request line with its status (or,
#       when silent, the first line received) to DIR/server.log.
#
# The mounts stay in the private mount namespace (unshare makes it private). The server
# ends by itself once its parent, the program after the exec, has ended.
set -euo pipefail
host=www.orvane.example
mode=$1 dir=$2
shift 2
case $mode in served | silent | stalled | offline | nodns) ;; *) echo "unknown mode $mode" >&2; exit 2 ;; esac
# unshare execs this script, so the caller is the parent: its namespaces must differ.
for ns in net mnt; do
  own=$(readlink /proc/self/ns/$ns)
  callers=$(readlink /proc/$PPID/ns/$ns) || { echo "the caller is gone" >&2; exit 2; }
  if [[ $own == "$callers" ]]; then
    echo "not in a $ns namespace of its own; run through unshare --net --mount" >&2
    exit 2
  fi
done

ip link set lo up
if [[ $mode != offline ]]; then
  # The dummy link type is missing here; a veth pair with both ends in this namespace
  # is a non-loopback interface that is up and running.
  ip link add orv0 type veth peer name orv1
  ip addr add 10.253.0.1/24 dev orv0
  ip link set orv1 up
  ip link set orv0 up
  ip route add default dev orv0
fi

# Private name files: the forum host is this namespace's loopback, and a name that is
# not in hosts goes to a server on loopback too (nothing listens there for DNS).
printf '127.0.0.1 localhost\n::1 localhost\n127.0.0.1 %s\n' "$host" >"$dir/hosts"
printf 'nameserver 127.0.0.1\n' >"$dir/resolv.conf"
if [[ $mode == nodns ]]; then
  printf '127.0.0.1 localhost\n::1 localhost\n' >"$dir/hosts"
  printf 'nameserver 10.253.0.2\n' >"$dir/resolv.conf"
fi
mount --bind "$dir/hosts" /etc/hosts
mount --bind "$dir/resolv.conf" /etc/resolv.conf

server='
import http.server, os, socket, sys, threading, time

mode, root, log_path, ready_path = sys.argv[1:5]
parent = os.getppid()
log_lock = threading.Lock()


def log(line):
    with log_lock, open(log_path, "a") as f:
        f.write(line + "\n")


def watch_parent():
    while os.getppid() == parent:
        time.sleep(0.1)
    os._exit(0)


class Page(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=root, **kwargs)

    def log_request(self, code="-", size="-"):
        log("%s %s" % (self.requestline, getattr(code, "value", code)))

    def log_message(self, *args):
        pass


def hold(connection):
    connection.settimeout(10)
    try:
        data = connection.recv(4096)
        log(data.split(b"\r\n", 1)[0].decode("latin-1"))
        if mode == "stalled":
            connection.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n<html>V6.4 ")
        time.sleep(3600)
    except OSError:
        pass


threading.Thread(target=watch_parent, daemon=True).start()
if mode in ("silent", "stalled"):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 80))
    listener.listen(16)
    open(ready_path, "w").close()
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=hold, args=(connection,), daemon=True).start()
else:
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 80), Page)
    open(ready_path, "w").close()
    httpd.serve_forever()
'
server_mode=$([[ $mode == silent || $mode == stalled ]] && echo "$mode" || echo page)
rm -f "$dir/server.ready"
: >"$dir/server.log"
python3 -c "$server" "$server_mode" "$dir/www" "$dir/server.log" "$dir/server.ready" \
  </dev/null >>"$dir/server.err" 2>&1 &
echo $! >"$dir/server.pid"
for _ in $(seq 100); do
  [[ -e $dir/server.ready ]] && break
  kill -0 "$(<"$dir/server.pid")" 2>/dev/null || break
  sleep 0.05
done
if [[ ! -e $dir/server.ready ]]; then
  echo "the local server did not start:" >&2
  cat "$dir/server.err" >&2
  kill "$(<"$dir/server.pid")" 2>/dev/null || true
  exit 1
fi

# Nothing may send the fetch elsewhere.
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
exec "$@"
