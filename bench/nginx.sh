# Sourced by the benchmark scripts: starts nginx on a free port of 127.0.0.1 with its own
# configuration under <work folder>/nginx and <work folder>/www as its root, and waits until it
# answers.
#   start_nginx <nginx binary> <work folder> <access log: "off" or a path>
# Sets port and nginx_pid; the server is stopped when the script exits (see below).
# shellcheck source=../scripts/lib/nginx.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/nginx.sh"

start_nginx() {
    local binary=$1 folder=$2 access_log=$3
    port=$(free_local_port)
    mkdir -p "$folder/www"
    write_nginx_config "$folder/nginx" "$access_log" <<EOF
server {
    listen 127.0.0.1:$port;
    root $folder/www;
}
EOF
    launch_nginx "$binary" "$folder/nginx" "$port" || true
    nginx_pid=$launched_nginx_pid
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
    stop_nginx_pid "$nginx_pid"
    rm -rf "$work"
}
