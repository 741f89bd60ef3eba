# Sourced by the benchmark scripts: starts nginx on a free port of 127.0.0.1 with its own
# configuration under <work folder>/nginx and <work folder>/www as its root, and waits until it
# answers.
#   start_nginx <nginx binary> <work folder> <access log: "off" or a path>
# Sets port and nginx_pid; the server is stopped when the script exits (see below).
start_nginx() {
    local binary=$1 folder=$2 access_log=$3
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    mkdir -p "$folder/www" "$folder/nginx"
    cat >"$folder/nginx/nginx.conf" <<EOF
worker_processes 2;
daemon off;
user root;
error_log $folder/nginx/error.log;
pid $folder/nginx/nginx.pid;
events { worker_connections 1024; }
http {
    access_log $access_log;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 1000000;
    default_type application/octet-stream;
    client_body_temp_path $folder/nginx/body;
    proxy_temp_path $folder/nginx/proxy;
    fastcgi_temp_path $folder/nginx/fastcgi;
    uwsgi_temp_path $folder/nginx/uwsgi;
    scgi_temp_path $folder/nginx/scgi;
    server {
        listen 127.0.0.1:$port;
        root $folder/www;
    }
}
EOF
    "$binary" -c "$folder/nginx/nginx.conf" -p "$folder/nginx" &
    nginx_pid=$!
    for _ in $(seq 50); do
        curl -s -o /dev/null "http://127.0.0.1:$port/" && break
        sleep 0.1
    done
}

# Installs with apt-get what the benchmarks compare against (nginx, aria2c, curl, xz) and the
# commands given as arguments (package named as the command) when they are missing; sets
# nginx_binary, and work to a new temporary folder that, with the server started by start_nginx,
# goes away when the script exits.
prepare_peers_and_work_folder() {
    local need=() command
    command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || need+=(nginx-light)
    command -v aria2c >/dev/null || need+=(aria2)
    command -v curl >/dev/null || need+=(curl)
    command -v xz >/dev/null || need+=(xz-utils)
    for command in "$@"; do
        command -v "$command" >/dev/null || need+=("$command")
    done
    if [ ${#need[@]} -gt 0 ]; then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
    fi
    nginx_binary=$(command -v nginx || echo /usr/sbin/nginx)
    work=$(mktemp -d)
    chmod 755 "$work"
    nginx_pid=""
    trap stop_nginx_and_remove_work_folder EXIT
}

stop_nginx_and_remove_work_folder() {
    if [ -n "$nginx_pid" ] && kill -0 "$nginx_pid" 2>/dev/null; then
        kill "$nginx_pid"
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
