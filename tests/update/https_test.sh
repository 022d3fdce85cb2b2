#!/usr/bin/env bash
# The keyed update over HTTPS against nginx (Debian's package) on 127.0.0.1: makes a test CA and
# four server certificates (good, expired, for another name, from a CA nobody trusts), starts nginx
# as this script's own process with everything in FOLDER (configuration, pid, logs, temp paths),
# and runs the HTTPS tests, which trust the test CA in the build's Wine prefix only.
#   https_test.sh WINE_RUN TEST_PROGRAM FOLDER
# Exit 77 (skipped) only where nginx or openssl is not installed.
set -euo pipefail
wine_run=$1 program=$2 dir=$3
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || { echo "nginx is not installed (scripts/bootstrap installs it)"; exit 77; }
command -v openssl >/dev/null || { echo "openssl is not installed"; exit 77; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)

rm -rf "$dir" && mkdir -p "$dir/www/bar" "$dir/tmp"
cd "$dir"

# Certificates: P-256 keys, the server ones for localhost (Wine's internet library does not match
# an IP address against a certificate).
ec() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
ec ca.key
openssl req -x509 -new -key ca.key -out ca.pem -days 30 -subj "/CN=Toolbar Test CA" 2>/dev/null
openssl x509 -in ca.pem -outform DER -out ca.der
cat >ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
copy_extensions = none
[any]
commonName = supplied
[localhost]
subjectAltName = DNS:localhost
[other]
subjectAltName = DNS:other.invalid
CNF
: >index.txt; echo 1000 >serial
issue() {  # NAME SECTION START END
  ec "$1.key"
  openssl req -new -key "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
  openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in "$1.csr" -out "$1.pem" \
    -extensions "$2" -startdate "$3" -enddate "$4" -notext >/dev/null 2>&1
}
issue good localhost "$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)" "$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)"
issue expired localhost 20200101000000Z 20200201000000Z
issue other other "$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)" "$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)"
ec untrusted.key
openssl req -x509 -new -key untrusted.key -out untrusted.pem -days 30 -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost" 2>/dev/null

read -r good expired other untrusted plain < <(python3 - <<'PY'
import socket
socks = [socket.socket() for _ in range(5)]
for s in socks: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])
PY
)
tls_server() {  # PORT CERT
  cat <<CONF
    server {
        listen 127.0.0.1:$1 ssl;
        server_name localhost;
        ssl_certificate $dir/$2.pem;
        ssl_certificate_key $dir/$2.key;
        root $dir/www;
        location /to-http/ { return 302 http://localhost:$plain/bar/\$request_uri_tail; }
        location /to-ftp/ { return 302 ftp://localhost/bar/; }
        location /hop1/ { rewrite ^/hop1/(.*)\$ /hop2/\$1 redirect; }
        location /hop2/ { rewrite ^/hop2/(.*)\$ /hop3/\$1 redirect; }
        location /hop3/ { rewrite ^/hop3/(.*)\$ /hop4/\$1 redirect; }
        location /hop4/ { rewrite ^/hop4/(.*)\$ /bar/\$1 redirect; }
    }
CONF
}
# One process that stays the caller: started as root, nginx's workers would drop to another user,
# who cannot read a build tree under a private folder (mktemp -d) and answers 403.
cat >nginx.conf <<CONF
daemon off;
master_process off;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
    log_format tb '\$request \$status \$body_bytes_sent';
    access_log $dir/access.log tb;
    client_body_temp_path $dir/tmp/body;
    proxy_temp_path $dir/tmp/proxy;
    fastcgi_temp_path $dir/tmp/fastcgi;
    uwsgi_temp_path $dir/tmp/uwsgi;
    scgi_temp_path $dir/tmp/scgi;
    map \$request_uri \$request_uri_tail { ~^/[^/]+/(?<tail>.*)\$ \$tail; }
$(tls_server "$good" good)
$(tls_server "$expired" expired)
$(tls_server "$other" other)
$(tls_server "$untrusted" untrusted)
    server {
        listen 127.0.0.1:$plain;
        root $dir/www;
        location /to-https/ { return 302 https://localhost:$good/bar/\$request_uri_tail; }
    }
}
CONF
"$nginx" -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$dir/nginx.pid" ] && break; sleep 0.1; done
[ -s "$dir/nginx.pid" ] || { echo "nginx did not start:"; cat "$dir/error.log"; exit 1; }

TB_HTTPS_DIR="Z:$dir" TB_HTTPS_PORT_GOOD=$good TB_HTTPS_PORT_EXPIRED=$expired TB_HTTPS_PORT_OTHER_NAME=$other \
TB_HTTPS_PORT_UNTRUSTED=$untrusted TB_HTTPS_PORT_PLAIN=$plain \
  "$wine_run" "$program"
