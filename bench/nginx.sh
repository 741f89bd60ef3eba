# Sourced by the benchmark scripts: starts nginx on a free port of 127.0.0.1 with its own
# configuration under <work folder>/nginx and <work folder>/www as its root, and waits until it
# answers.
#   start_nginx <nginx binary> <work folder> <access log: "off" or a path>
# Sets port and nginx_pid; the caller stops the server with the pid.
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
