#!/usr/bin/env python3
"""`tbtool probe` against update locations served over HTTPS on 127.0.0.1 by this test.

Usage: probe_test.py TBTOOL

A toolbar at version 1.0 (made by `tbtool new`, its "Updates URL" pointed at each location in
turn) probes locations holding: a good signed release 1.1, one without its icon store, one whose
icon store is not the one signed, an older release 0.9, and the good release behind a certificate
from an authority nobody trusts, and behind one made out for another host. Each gives the exit
status and the reason the toolbar's update log would give.
"""
import http.server
import json
import os
import pathlib
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading

TBTOOL = sys.argv[1]
failures = []
passed = 0


def run(*args, check=True):
    result = subprocess.run(args, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise SystemExit(f"{' '.join(args)}: exit {result.returncode}\n{result.stdout}{result.stderr}")
    return result


def make_certificates(folder):
    """A test authority, a certificate for localhost and 127.0.0.1 it signed, one it signed for
    another host, and one signed by an authority the probe is not told about."""
    def authority(name):
        run("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
            "-keyout", f"{folder}/{name}.key", "-out", f"{folder}/{name}.pem", "-days", "2",
            "-subj", f"/CN={name}")

    def leaf(name, ca, alt):
        run("openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
            "-keyout", f"{folder}/{name}.key", "-out", f"{folder}/{name}.csr", "-subj", f"/CN={name}")
        (folder / f"{name}.ext").write_text(f"subjectAltName={alt}\n")
        run("openssl", "x509", "-req", "-in", f"{folder}/{name}.csr", "-CA", f"{folder}/{ca}.pem",
            "-CAkey", f"{folder}/{ca}.key", "-CAcreateserial", "-out", f"{folder}/{name}.pem", "-days", "1",
            "-extfile", f"{folder}/{name}.ext")

    authority("test-ca")
    authority("rogue-ca")
    leaf("localhost", "test-ca", "DNS:localhost,IP:127.0.0.1")
    leaf("other-host", "test-ca", "DNS:other.example")
    leaf("rogue", "rogue-ca", "DNS:localhost,IP:127.0.0.1")


def serve(root, cert):
    """An HTTPS server of the folder on 127.0.0.1, on a port of its own; its address."""
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=str(root), **kwargs)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Quiet)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(f"{cert}.pem", f"{cert}.key")
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, server.server_address[1]


def release(work, source, version, name):
    """Builds and signs the source at `version` into work/name/; the location's three files."""
    data = json.loads(source.read_text())
    data["options"]["Version"] = version
    edited = source.with_name(f"{name}.json")
    edited.write_text(json.dumps(data, ensure_ascii=False))
    out = work / "www" / name
    run(TBTOOL, "build", str(edited), str(out))
    run(TBTOOL, "sign", str(work / "keys/publisher.key"), str(out / "ProbeBar.tb"), str(out / "Icons.bin"))
    os.rename(out / "Icons.bin", out / "icons.bin")
    return out


def main():
    global passed
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        certs = work / "certs"
        certs.mkdir()
        make_certificates(certs)
        run(TBTOOL, "new", "Probe Bar", str(work / "bar"))
        source = work / "bar/ProbeBar.json"
        run(TBTOOL, "keygen", str(work / "keys/publisher"))
        run(TBTOOL, "keygen", str(work / "keys/other"))

        release(work, source, "1.1", "good")
        shutil.copytree(work / "www/good", work / "www/missing")
        os.remove(work / "www/missing/icons.bin")
        shutil.copytree(work / "www/good", work / "www/tampered")
        with open(work / "www/tampered/icons.bin", "ab") as f:
            f.write(b"\0")
        release(work, source, "0.9", "older")

        good_server, good = serve(work / "www", certs / "localhost")
        rogue_server, rogue = serve(work / "www", certs / "rogue")
        other_server, other = serve(work / "www", certs / "other-host")
        key = ["--key", str(work / "keys/publisher.pub")]
        ca = ["--cacert", str(certs / "test-ca.pem")]
        cases = [
            # name, location, arguments, exit, what the report must say
            ("good release", f"https://localhost:{good}/good/", key + ca, 0,
             ["signature by key", "verifies", "version 1.1, newer than 1.0", "certificate valid for the host",
              "the toolbar would take it: version 1.1"]),
            ("good release, by address", f"https://127.0.0.1:{good}/good", key + ca, 0,
             ["the toolbar would take it: version 1.1"]),
            ("missing file", f"https://localhost:{good}/missing/", key + ca, 1,
             ["failed: icons.bin: the server answered 404"]),
            ("wrong hash", f"https://localhost:{good}/tampered/", key + ca, 1,
             ["refused: icons.bin does not match the release"]),
            ("older version", f"https://localhost:{good}/older/", key + ca, 1,
             ["refused: version 0.9 is not newer than 1.0"]),
            ("certificate of an unknown authority", f"https://localhost:{rogue}/good/", key + ca, 1,
             ["failed: ProbeBar.release: certificate not trusted"]),
            ("certificate for another host", f"https://localhost:{other}/good/", key + ca, 1,
             ["failed: ProbeBar.release: certificate names another host"]),
            ("signed by another key", f"https://localhost:{good}/good/", ["--key", str(work / "keys/other.pub")] + ca, 1,
             ["refused: signed by an unknown key"]),
            ("a library without a key", f"https://localhost:{good}/good/", ca, 0,
             ["no --key", "a usable template, version 1.1", "the toolbar would take it: version 1.1"]),
        ]
        for name, location, args, status, expected in cases:
            data = json.loads(source.read_text())
            data["options"]["Updates URL"] = location
            case_source = source.with_name("case.json")
            case_source.write_text(json.dumps(data, ensure_ascii=False))
            result = run(TBTOOL, "probe", str(case_source), *args, check=False)
            report = result.stdout + result.stderr
            missing = [text for text in expected if text not in report]
            if result.returncode != status or missing:
                failures.append(name)
                print(f"FAIL {name}: exit {result.returncode} (expected {status}), missing {missing}\n{report}")
            else:
                passed += 1
                print(f"ok   {name}: exit {result.returncode}: {report.strip().splitlines()[-1]}")
        for server in (good_server, rogue_server, other_server):
            server.shutdown()
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


for variable in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
    os.environ.pop(variable, None)  # the servers are on this machine
sys.exit(main())
