#!/usr/bin/env bash
# Writes the HAProxy configuration for class hosts behind one address:
# every address of a class carries its host's route (?h=NN), which sends it
# to that host; everything else (the start page, the teacher's login, new
# class games) goes to the host with the fewest connections. The hosts'
# /health is checked by the proxy and not served through it.
#
#   make-config.sh --bind ADDR:PORT --host NN=ADDR:PORT [--host NN=ADDR:PORT ...]
#                  [--cert FILE.pem] [--join-rate N] [--check-ms N] [--maxconn N] [--log]  > taruvo.cfg
#
#   --bind       where browsers connect (with --cert: HTTPS there, and port 80
#                of the same address sends browsers to it when --redirect-port 80)
#   --host       a class host: its route (taruvo-host --route NN) and address
#   --cert       the district's certificate and key in one PEM file: HTTPS
#   --redirect-port N  plain HTTP on this port of the same address, answered
#                with a redirect to HTTPS (with --cert only)
#   --join-rate  requests per address in 10 s before it is answered 429
#                (0: no limit; default 600: a class behind one address is
#                30 tablets starting a round)
#   --check-ms   how often each host's health is checked (default 2000)
#   --maxconn    connections at once (default 30000: every child holds one;
#                HAProxy needs about twice as many open files)
#   --log        log requests to standard error (for a test or a terminal)
set -euo pipefail

bind= cert= redirect= rate=600 check=2000 maxconn=30000 log=0
hosts=()
die() { echo "make-config.sh: $*" >&2; exit 2; }
while (($#)); do
    case $1 in
    --bind) bind=${2:-}; shift 2 ;;
    --host) hosts+=("${2:-}"); shift 2 ;;
    --cert) cert=${2:-}; shift 2 ;;
    --redirect-port) redirect=${2:-}; shift 2 ;;
    --join-rate) rate=${2:-}; shift 2 ;;
    --check-ms) check=${2:-}; shift 2 ;;
    --maxconn) maxconn=${2:-}; shift 2 ;;
    --log) log=1; shift ;;
    -h|--help) sed -n '2,24p' "$0"; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
    esac
done
addr_re='^(\[[0-9a-fA-F:.]+\]|[0-9A-Za-z.-]+):[0-9]{1,5}$'
[[ $bind =~ $addr_re ]] || die "--bind needs ADDRESS:PORT"
((${#hosts[@]})) || die "at least one --host NN=ADDRESS:PORT"
[[ $rate =~ ^[0-9]{1,6}$ ]] || die "--join-rate needs a number"
[[ $check =~ ^[0-9]{2,6}$ ]] || die "--check-ms needs a number of milliseconds"
[[ $maxconn =~ ^[0-9]{2,7}$ ]] || die "--maxconn needs a number"
[[ -z $redirect || ( -n $cert && $redirect =~ ^[0-9]{1,5}$ ) ]] || die "--redirect-port needs --cert and a port"
declare -A seen=()
for h in "${hosts[@]}"; do
    [[ $h =~ ^([0-9]{2})=(.+)$ ]] || die "--host needs NN=ADDRESS:PORT, NN two digits: $h"
    route=${BASH_REMATCH[1]} target=${BASH_REMATCH[2]}
    ((10#$route >= 1)) || die "a route is 01 to 99: $h"
    [[ $target =~ $addr_re ]] || die "--host needs NN=ADDRESS:PORT: $h"
    [[ -z ${seen[$route]:-} ]] || die "route $route given twice"
    seen[$route]=1
done

echo "# Taruvo's class hosts behind one address (made by make-config.sh)."
echo "global"
echo "    maxconn $maxconn"
((log)) && echo "    log stderr format raw local0 info"
cat <<'CFG'

defaults
    mode http
    timeout connect 5s
    timeout client 60s
    timeout server 60s
    # A WebSocket, once open: the pages ping every 5 s.
    timeout tunnel 120s
    timeout http-request 10s
    timeout client-fin 10s
CFG
((log)) && printf '    log global\n    option httplog\n'

echo
echo "frontend taruvo"
if [[ -n $cert ]]; then
    echo "    bind $bind ssl crt $cert alpn http/1.1"
    [[ -n $redirect ]] && echo "    bind ${bind%:*}:$redirect"
    echo "    http-request redirect scheme https code 301 unless { ssl_fc }"
    echo "    http-request set-header X-Forwarded-Proto https"
else
    echo "    bind $bind"
    echo "    http-request set-header X-Forwarded-Proto http"
fi
cat <<CFG
    # The device's address as the proxy saw it, never as the device wrote it.
    http-request set-header X-Forwarded-For %[src]
    # The hosts' health is for this proxy's checks alone.
    http-request deny deny_status 404 if { path /health }
    # A route is two digits; anything else is refused here.
    http-request deny deny_status 400 if { url_param(h) -m found } !{ url_param(h) -m reg ^[0-9][0-9]\$ }
CFG
if ((rate > 0)); then
    cat <<CFG
    # Requests (pages, WebSockets, tries of a class code) per address.
    stick-table type ipv6 size 100k expire 60s store http_req_rate(10s)
    http-request track-sc0 src
    http-request deny deny_status 429 if { sc_http_req_rate(0) gt $rate }
CFG
fi
cat <<CFG
    default_backend taruvo_hosts

backend taruvo_hosts
    # A class's addresses go to its host; the rest to the least busy host.
    balance leastconn
    option httpchk
    http-check send meth GET uri /health ver HTTP/1.1 hdr Host taruvo-proxy
    http-check expect status 200
    default-server inter ${check} fall 2 rise 2
CFG
for h in "${hosts[@]}"; do
    route=${h%%=*}
    echo "    use-server h$route if { url_param(h) -m str $route }"
done
for h in "${hosts[@]}"; do
    route=${h%%=*} target=${h#*=}
    echo "    server h$route $target check"
done
