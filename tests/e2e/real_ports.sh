#!/usr/bin/env bash
# Runs `linkvet-cli check` against servers on the real ports 80 and 21, inside a
# private network namespace where any 127.x.y.z address can be bound and nothing
# leaves the machine. Exits 77 (skipped) where no such namespace can be made.
set -euo pipefail
cli=$1 server=$2

if [ -z "${LINKVET_IN_NETNS:-}" ]; then
  if ! command -v unshare >/dev/null || ! command -v ip >/dev/null; then
    echo "skipped: unshare or ip is missing (packages util-linux, iproute2)"; exit 77
  fi
  if ! unshare -rn true 2>/dev/null; then
    echo "skipped: this machine does not allow a private network namespace"; exit 77
  fi
  LINKVET_IN_NETNS=1 exec unshare -rn "$0" "$@"
fi

ip link set lo up
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config

"$server" 60 \
  "127.0.0.1:80=reply:HTTP/1.0 404 Not Found\r\n\r\n" \
  "127.0.0.2:80=reply:HTTP/1.0 200 OK\r\n\r\n" \
  "127.0.0.3:21=greet:220 ready\r\n" \
  "127.0.0.5:80=reply:HTTP/1.0 503 Busy\r\n" >"$work/ready" &
for _ in $(seq 100); do [ -s "$work/ready" ] && break; sleep 0.1; done
[ -s "$work/ready" ] || { echo "the servers did not start"; exit 1; }

mkdir -p "$work/site/sub"
cat >"$work/site/index.html" <<'HTML'
<a href="http://127.0.0.1/gone">Gone</a>
<a href="http://127.0.0.2:8080/fine">Fine</a>
<a href="ftp://127.0.0.3/pub">Files</a>
<a href="ftp://127.0.0.4/pub">No files</a>
HTML
cat >"$work/site/sub/more.htm" <<'HTML'
<A HREF="http://127.0.0.5/busy">Busy</A>
HTML

status=0
"$cli" check --all --recurse --timeout 3 "$work/site" >"$work/out" 2>"$work/err" || status=$?
expected="http://127.0.0.1/gone	HTTP Code 404 Not Found	Gone	$work/site/index.html
ftp://127.0.0.4/pub	Can't Connect to Host	No files	$work/site/index.html
http://127.0.0.5/busy	HTTP Code 503 Service Unavailable	Busy	$work/site/sub/more.htm"
if [ "$status" -ne 1 ] || [ "$(cat "$work/out")" != "$expected" ]; then
  echo "exit status $status; output:"; cat "$work/out"; echo "log:"; cat "$work/err"
  exit 1
fi
grep -q '^Results for '"$work"'/site/index.html: URLs tested: 4. URL errors: 2.$' "$work/err"
grep -q '^End of test: ' "$work/err"
echo "ok: real ports 80 and 21 in a private network namespace"
