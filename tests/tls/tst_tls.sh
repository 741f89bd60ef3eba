#!/usr/bin/env bash
# The launcher against nginx over TLS, with certificates of a CA made here: a good chain installs,
# and a wrong host name, an expired certificate, an untrusted issuer and a missing intermediate
# are each refused with the maintenance message box as before, while the log names the
# certificate error Qt reported, the host, and the certificate's subject and expiry. Adding the
# CA to the system's store (the one update-ca-certificates maintains, which Qt reads) needs root;
# without root only the untrusted issuer is checked.
#   tst_tls.sh BUILD_DIR
# Exit code 77 (skipped) when nginx is not installed.
set -euo pipefail

build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/lib/nginx.sh
source "$root/scripts/lib/nginx.sh"
# shellcheck source=../bundleselfupdate/lib.sh
source "$root/tests/bundleselfupdate/lib.sh"

require_nginx

work=$(mktemp -d)
chmod 755 "$work"
nginx_pid=""
installed_ca=""
finish() {
    local status=$?
    stop_nginx_pid "$nginx_pid"
    if [ -n "$installed_ca" ]; then
        rm -f "$installed_ca"
        # --fresh: a plain run leaves the links to a removed certificate behind.
        update-ca-certificates --fresh >/dev/null 2>&1 ||
            echo "update-ca-certificates failed after removing $installed_ca" >&2
    fi
    [ "$status" -eq 0 ] || tail -n 20 "$work/nginx/error.log" >&2 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 143' TERM INT

# --- Certificates: a root CA, an intermediate, leaves for 127.0.0.1, and a stranger's root.
pki=$work/pki
mkdir -p "$pki"
cd "$pki"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null; }
ca_extensions=$'basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n'
self_signed_ca() {
    key "$1"
    openssl req -x509 -key "$1.key" -out "$1.crt" -days 2 -subj "/CN=$2" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
}
# sign <name> <issuer> <subject> <extensions> [dates for openssl ca]
sign() {
    local name=$1 issuer=$2 subject=$3 extensions=$4
    key "$name"
    openssl req -new -key "$name.key" -out "$name.csr" -subj "/CN=$subject"
    printf '%s' "$extensions" >"$name.ext"
    if [ $# -gt 4 ]; then
        # Only "openssl ca" can date a certificate in the past.
        mkdir -p "ca-$name"
        : >"ca-$name/index.txt"
        printf '[ca]\ndefault_ca=d\n[d]\ndatabase=ca-%s/index.txt\nnew_certs_dir=ca-%s\nserial=ca-%s/serial\ndefault_md=sha256\npolicy=p\nunique_subject=no\n[p]\ncommonName=supplied\n' \
            "$name" "$name" "$name" >"ca-$name/ca.cnf"
        echo 1000 >"ca-$name/serial"
        openssl ca -batch -notext -config "ca-$name/ca.cnf" -cert "$issuer.crt" -keyfile "$issuer.key" \
            -in "$name.csr" -out "$name.crt" -extfile "$name.ext" -startdate "$5" -enddate "$6" 2>/dev/null
    else
        openssl x509 -req -in "$name.csr" -CA "$issuer.crt" -CAkey "$issuer.key" -CAcreateserial -days 2 \
            -out "$name.crt" -extfile "$name.ext" 2>/dev/null
    fi
}
leaf_extensions() { printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$1"; }
self_signed_ca root "Quenmar Test Root $$"
sign intermediate root "Quenmar Test Intermediate $$" "$ca_extensions"
sign good intermediate "127.0.0.1" "$(leaf_extensions IP:127.0.0.1)"
sign wronghost intermediate "content.example.org" "$(leaf_extensions DNS:content.example.org)"
sign expired intermediate "127.0.0.1" "$(leaf_extensions IP:127.0.0.1)" 20200101000000Z 20200201000000Z
self_signed_ca stranger "Someone Else's Root $$"
sign untrusted stranger "127.0.0.1" "$(leaf_extensions IP:127.0.0.1)"
for name in good wronghost expired; do cat "$name.crt" intermediate.crt >"$name.chain"; done
cat untrusted.crt stranger.crt >untrusted.chain
cp good.crt nointermediate.chain
cp good.key nointermediate.key
cd "$work"

# --- The game, published once and served by every case's server block.
mkdir -p game/bin game/data
printf '#!/bin/sh\nexit 0\n' >game/bin/client
chmod 755 game/bin/client
head -c 300000 /dev/urandom >game/data/world.bin
"$build/bin/quenmar-pack" build game www/quenmar/online --version 1.0 --executable bin/client --algorithm deflate \
    --main-config www/quenmar/brlmetadata.json --name "Quenmar Online" --directory-name QuenmarOnline \
    --install-automatically true >pack.log

declare -A ports
blocks=""
for name in good wronghost expired untrusted nointermediate; do
    ports[$name]=$(free_local_port)
    blocks+="server { listen 127.0.0.1:${ports[$name]} ssl; ssl_certificate $pki/$name.chain; "
    blocks+="ssl_certificate_key $pki/$name.key; root $work/www; }"$'\n'
done
write_nginx_config "$work/nginx" off <<<"$blocks"
launch_nginx "$nginx_binary" "$work/nginx" "${ports[good]}"
nginx_pid=$launched_nginx_pid

# run_case <name>: runs a first launch against that server block in a sandbox of its own; sets
# case_status, case_output (standard error) and case_log (the launcher's log file).
run_case() {
    local name=$1 folder=$work/player-$1
    (
        use_sandbox "$folder"
        mkdir -p "$folder/program"
        cp "$build/bin/quenmar-launcher" "$folder/program/"
        write_settings "$folder/program/launchersettings.ini" "https://127.0.0.1:${ports[$name]}/quenmar/brlmetadata.json"
        timeout 120 "$folder/program/quenmar-launcher" --first-launch >"$folder/output.txt" 2>&1
        echo $? >"$folder/status"
        cp "$(log_file)" "$folder/launcher.log" 2>/dev/null || : >"$folder/launcher.log"
    ) || true
    case_status=$(cat "$folder/status" 2>/dev/null || echo none)
    case_output=$folder/output.txt
    case_log=$folder/launcher.log
}

maintenance="Quenmar Online is currently down for maintenance. Please try again later."
# expect_refused <name> <text of Qt's certificate error>
expect_refused() {
    local name=$1 error=$2
    run_case "$name"
    [ "$case_status" = 1 ] || fail "$name: exit status $case_status, expected 1"
    grep -qF "$maintenance" "$case_output" || fail "$name: no maintenance message box"
    grep -qF "SSL handshake failed" "$case_log" || fail "$name: the handshake failure is no longer logged"
    local line
    line=$(grep -F "Certificate error for 127.0.0.1:${ports[$name]}: $error" "$case_log" | head -n 1) ||
        { cat "$case_log" >&2; fail "$name: no certificate error \"$error\" in the log"; }
    case "$line" in
    *"certificate subject"*"valid until"*) ;;
    *) fail "$name: the logged error names no certificate: $line" ;;
    esac
    echo "$name: $line"
}

expect_refused untrusted "The root certificate of the certificate chain is self-signed, and untrusted"

if [ "$(id -u)" -ne 0 ]; then
    echo "Not root: the CA of this test cannot be added to the system's store; the other cases are skipped"
    echo "PASS"
    exit 0
fi
installed_ca=/usr/local/share/ca-certificates/quenmar-tls-test-$$.crt
cp "$pki/root.crt" "$installed_ca"
update-ca-certificates >/dev/null 2>&1 || fail "update-ca-certificates"

run_case good
[ "$case_status" = 0 ] || { cat "$case_log" >&2; fail "good: exit status $case_status"; }
cmp -s game/data/world.bin "$work/player-good/data/Brelmor GmbH/Quenmar Online/packages/QuenmarOnline/data/world.bin" ||
    fail "good: the installed file differs"
! grep -q "Certificate error" "$case_log" || fail "good: a certificate error was logged"
echo "good: installed over https"

expect_refused wronghost "The host name did not match any of the valid hosts for this certificate"
expect_refused expired "The certificate has expired"
expect_refused nointermediate "The issuer certificate of a locally looked up certificate could not be found"
echo "PASS"
