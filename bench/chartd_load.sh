#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Chart requests per second and 99th-percentile latency on loopback, side by side in one
# run: orvantis-chartd serving its chart, and nginx serving the very file the publisher
# wrote into its publish_dir with the same cache headers, each for a 200 and for a 304
# (If-None-Match with the server's own ETag), and for a 200 on a new connection each time,
# as the desktops ask. The rounds alternate between the two servers and the median of
# each is printed, with chartd's rate as a share of nginx's. Only the answers meant (200,
# or 304 for a 304) count; every other status is printed with its count, and a run that
# met one says so at its end (and exits 1).
# Then crowds of 1,000, 5,000 and 10,000 clients that keep their connection
# (keepalive_crowd.py; CROWDS="..." sets the sizes, CROWDS=0 skips them).
#   bench/chartd_load.sh BIN_DIR [SECONDS] [CONNECTIONS] [ROUNDS]
# Needs wrk and nginx-light (apt-get install wrk nginx-light); runs nginx as a private
# process on a free port, never the system's.
set -euo pipefail
BIN_DIR=${1:?usage: $0 BIN_DIR [SECONDS] [CONNECTIONS] [ROUNDS]}
SECONDS_EACH=${2:-5}
CONNECTIONS=${3:-64}
ROUNDS=${4:-3}
CHART=/NewCharts/gold/images/gold_1d_o_USD.png
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib/services.bash" orvantis-chartd-load
chmod 755 "$WORK" # nginx's workers run as another user when it is started as root
wait_until() { for _ in $(seq 400); do "$@" 2>/dev/null && return 0; sleep 0.05; done; echo "timed out: $*" >&2; exit 1; }

# A quote feed that always answers the same price, so the chart stays the same.
mkdir -p "$WORK/feed" "$WORK/publish" "$WORK/state" "$WORK/nginx"
echo '{"gold":{"price":1662.5}}' >"$WORK/feed/quote.json"
FEED_PORT=$(free_port)
"$PYTHON" -m http.server "$FEED_PORT" --bind 127.0.0.1 --directory "$WORK/feed" >/dev/null 2>&1 &
PIDS+=($!)
# A whole day of prices, one a minute, so the chart is as large as it gets in service.
awk -v now="$(date +%s)" 'BEGIN { srand(7); p = 1662.5; print "orvantis-chartd day 1"
    for (i = 1439; i >= 1; i--) { p += (rand() - 0.5) * 0.8; printf "%d %.2f\n", now - 60 * i, p } }' \
    >"$WORK/state/day.state"
cat >"$WORK/chartd.conf" <<CONF
listen = 127.0.0.1:0
feed = http://127.0.0.1:$FEED_PORT/quote.json
feed_pointer = /gold/price
feed_interval = 30
state_dir = $WORK/state
publish_dir = $WORK/publish
CONF
wait_until "$PYTHON" -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$FEED_PORT/quote.json')"
"$BIN_DIR/orvantis-chartd" --config "$WORK/chartd.conf" 2>"$WORK/chartd.log" &
CHARTD_PID=$!
PIDS+=($CHARTD_PID)
wait_until grep -q ' listening on ' "$WORK/chartd.log"
CHARTD=$(grep -o 'http://[0-9.:]*' "$WORK/chartd.log" | head -n 1)
# The day's last price is the reference: the first quote is taken at once.
for _ in $(seq 700); do [ -s "$WORK/publish/gold_1d_o_USD.png" ] && break; sleep 0.05; done
[ -s "$WORK/publish/gold_1d_o_USD.png" ] || { cat "$WORK/chartd.log" >&2; exit 1; }

NGINX_PORT=$(free_port)
cat >"$WORK/nginx/nginx.conf" <<CONF
worker_processes auto;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log;
worker_rlimit_nofile 32768;
events { worker_connections 16384; }
http {
    access_log off;
    client_body_temp_path $WORK/nginx;
    proxy_temp_path $WORK/nginx;
    fastcgi_temp_path $WORK/nginx;
    uwsgi_temp_path $WORK/nginx;
    scgi_temp_path $WORK/nginx;
    server {
        listen 127.0.0.1:$NGINX_PORT;
        location = $CHART {
            alias $WORK/publish/gold_1d_o_USD.png;
            default_type image/png;
            add_header Cache-Control "max-age=30";
        }
    }
}
CONF
nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" -g 'daemon off;' &
NGINX_PID=$!
PIDS+=($NGINX_PID)
NGINX="http://127.0.0.1:$NGINX_PORT"
wait_until curl -sf -o /dev/null "$NGINX$CHART"

etag() { curl -sI "$1$CHART" | tr -d '\r' | sed -n 's/^[Ee][Tt][Aa][Gg]: //p'; }
# measure URL MEANT [HEADER]: "requests-per-second p99-in-ms" of one wrk run, counting
# only the answers of status MEANT; any other goes to stderr (see answer_tally).
measure() {
    wrk -t 2 -c "$CONNECTIONS" -d "${SECONDS_EACH}s" --latency -s "$HERE/lib/answer_count.lua" \
        ${3:+-H "$3"} "$1$CHART" >"$WORK/wrk.txt"
    local rate
    rate=$(answer_tally "$WORK/wrk.txt" "$2" 2> >(sed "s|^|$1 $2 ${3:-}: |" >&2))
    awk -v rate="$rate" '
        $1 == "99%" { v = $2; unit = v; sub(/[0-9.]+/, "", unit); sub(/[a-z]+$/, "", v);
                      p99 = unit == "us" ? v / 1000 : unit == "s" ? v * 1000 : v }
        END { printf "%.0f %.2f\n", rate, p99 }' "$WORK/wrk.txt"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A RATE P99
for _ in $(seq "$ROUNDS"); do
    for server in chartd nginx; do
        url=$([ $server = chartd ] && echo "$CHARTD" || echo "$NGINX")
        for answer in 200 304 close; do
            case $answer in
            200) header= ;;
            304) header="If-None-Match: $(etag "$url")" ;;
            close) header="Connection: close" ;;
            esac
            meant=$([ $answer = 304 ] && echo 304 || echo 200)
            measure "$url" "$meant" "$header" >"$WORK/measure.txt"
            read -r rate p99 <"$WORK/measure.txt"
            RATE[$server.$answer]+="$rate "
            P99[$server.$answer]+="$p99 "
        done
    done
done

echo "chart of $(stat -c %s "$WORK/publish/gold_1d_o_USD.png") bytes, $CONNECTIONS connections, median of $ROUNDS runs of ${SECONDS_EACH} s"
echo "(close: a 200 on a new connection each time)"
printf '%-8s %-6s %12s %10s\n' server answer requests/s p99/ms
for answer in 200 304 close; do
    for server in chartd nginx; do
        printf '%-8s %-6s %12s %10s\n' $server $answer \
            "$(tr ' ' '\n' <<<"${RATE[$server.$answer]}" | grep . | median)" \
            "$(tr ' ' '\n' <<<"${P99[$server.$answer]}" | grep . | median)"
    done
    c=$(tr ' ' '\n' <<<"${RATE[chartd.$answer]}" | grep . | median)
    n=$(tr ' ' '\n' <<<"${RATE[nginx.$answer]}" | grep . | median)
    awk -v c="$c" -v n="$n" -v a="$answer" 'BEGIN { printf "chartd / nginx for a %s: %.2f\n", a, c / n }'
done

# Crowds of clients that keep their connection (CROWDS, 0 for none): how long the newest
# waits, what is lost, and what the crowd costs each server in threads and memory.
if [ "${CROWDS:-1000 5000 10000}" != 0 ]; then
    ulimit -n "$(ulimit -Hn)"
    for clients in ${CROWDS:-1000 5000 10000}; do
        for server in chartd nginx; do
            if [ $server = chartd ]; then
                port=${CHARTD##*:} pids=$CHARTD_PID
            else
                port=$NGINX_PORT pids="$NGINX_PID $(pgrep -P "$NGINX_PID" | tr '\n' ' ')"
            fi
            printf '%-8s' $server
            # shellcheck disable=SC2086 # the pids are words
            "$PYTHON" "$HERE/keepalive_crowd.py" "$port" "$CHART" "$clients" $pids
            sleep 2 # the crowd's connections end before the next
        done
    done
fi
answer_verdict
