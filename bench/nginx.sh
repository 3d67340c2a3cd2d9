# Sourced by the benchmarks: nginx serves their files on loopback, so the
# server never bounds a figure. One worker, no access log, connections kept
# alive, every file as application/octet-stream.
#
#   start_nginx DIR LISTEN FILES PROBE_URL
#       DIR        nginx's folder: configuration, pid, log, temporary files
#       LISTEN     address:port
#       FILES      the server block's directive that serves the files, such as
#                  "root /srv/www;" or "location /updates/ { alias /srv/tree/; }"
#       PROBE_URL  a file it serves: returns once that answers
#   sets nginx_pid; fails, pointing to nginx's log, when it does not answer
#
#   stop_nginx     ends it (nothing when none was started)

nginx_pid=

start_nginx() {
    local dir=$1 listen=$2 files=$3 probe=$4
    mkdir -p "$dir"
    cat >"$dir/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 100000;
    keepalive_timeout 60s;
    client_body_temp_path $dir/body;
    proxy_temp_path $dir/proxy;
    fastcgi_temp_path $dir/fastcgi;
    uwsgi_temp_path $dir/uwsgi;
    scgi_temp_path $dir/scgi;
    types {}
    default_type application/octet-stream;
    server {
        listen $listen;
        $files
    }
}
CONF
    /usr/sbin/nginx -c "$dir/nginx.conf" -p "$dir" &
    nginx_pid=$!
    for _ in $(seq 100); do
        curl -sf -o /dev/null -r 0-0 "$probe" && return 0
        sleep 0.1
    done
    echo "nginx does not answer $probe; see $dir/error.log" >&2
    return 1
}

stop_nginx() {
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
}
