# shellcheck shell=bash
# Sourced by the benchmarks and the CDN test: runs private nginx servers without installing them
# as a service. Each server has a folder of its own for its configuration, pid file, error log and
# temporary paths, listens on 127.0.0.1 and is stopped by its PID.

# Sets nginx_binary; a test without nginx ends here as skipped (exit code 77).
require_nginx() {
    nginx_binary=$(command -v nginx || echo /usr/sbin/nginx)
    if [ ! -x "$nginx_binary" ]; then
        echo "nginx is not installed (scripts/setup-deps.sh installs nginx-light); skipped"
        exit 77
    fi
}

# Prints a TCP port of 127.0.0.1 that is free at the moment.
free_local_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# write_nginx_config <folder> <access log: "off", a path, or a path and a format name>
# Writes <folder>/nginx.conf for a server in the foreground whose files all stay in <folder>; the
# text on standard input goes into the http context (server blocks, log formats, includes).
write_nginx_config() {
    local folder=$1 access_log=$2
    mkdir -p "$folder"
    {
        cat <<EOF
worker_processes 2;
daemon off;
user root;
error_log $folder/error.log;
pid $folder/nginx.pid;
events { worker_connections 1024; }
http {
    sendfile on;
    tcp_nopush on;
    keepalive_requests 1000000;
    default_type application/octet-stream;
    client_body_temp_path $folder/body;
    proxy_temp_path $folder/proxy;
    fastcgi_temp_path $folder/fastcgi;
    uwsgi_temp_path $folder/uwsgi;
    scgi_temp_path $folder/scgi;
EOF
        sed 's/^/    /'
        # Last, so that it may name a log_format of the text.
        echo "    access_log $access_log;"
        echo "}"
    } >"$folder/nginx.conf"
}

# launch_nginx <nginx binary> <folder> <port>
# Starts nginx with <folder>/nginx.conf in the background and waits until <port> accepts
# connections. Sets launched_nginx_pid; fails when the server does not come up.
launch_nginx() {
    local binary=$1 folder=$2 port=$3
    "$binary" -c "$folder/nginx.conf" -p "$folder" &
    launched_nginx_pid=$!
    for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            return 0
        fi
        kill -0 "$launched_nginx_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "nginx in $folder did not come up on port $port" >&2
    cat "$folder/error.log" >&2 2>/dev/null || true
    return 1
}

# stop_nginx_pid <pid>: stops a server started by launch_nginx (nothing when it has ended).
stop_nginx_pid() {
    local pid=$1
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    fi
}
