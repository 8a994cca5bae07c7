# The static program: in a root that holds nothing but itself and /etc it probes, and it looks names
# up in /etc/hosts and DNS alone, whatever nsswitch.conf names, opening no shared object.
import os
import re
import shutil
import subprocess

import pytest

from conftest import (BIN, RUNNER, STATIC, SUCCESS, failure, limit, mask_clock, probe_output,
                      refused_port, wait_until)

pytestmark = pytest.mark.skipif(not STATIC or os.geteuid() != 0, reason="the static program, and "
                                "root for chroot: make static-test as root")
NAME = b"knockbox-e2e.example"  # made up; only the test's DNS server on 127.0.0.1 knows it


# An empty root (the program, the emulator of another processor's program, which is static as
# well, and /etc/hosts): an open port, localhost, a refused port. Then the made-up name with a
# resolv.conf, and no nsswitch.conf, one with "files dns", one naming modules that a static
# program must not load. strace records the shared objects opened after the program's start.
def test_the_static_program_needs_nothing_but_etc_hosts_and_dns(server, tmp_path):
    s, refused, hosts = server(), refused_port(), {"hosts": "127.0.0.1 localhost\n"}
    dns = {"resolv.conf": "nameserver 127.0.0.1\n", **hosts}
    mdns = "hosts: files mdns4_minimal [NOTFOUND=return] resolve [!UNAVAIL=return] myhostname dns"
    cases = [(hosts, b"127.0.0.1", s.port, 0), (hosts, b"localhost", s.port, 0),
             (hosts, b"127.0.0.1", refused, 10), (dns, NAME, s.port, 0),
             (dict(dns, **{"nsswitch.conf": "hosts: files dns\n"}), NAME, s.port, 0),
             (dict(dns, **{"nsswitch.conf": mdns + "\n"}), NAME, s.port, 0)]
    dns = subprocess.Popen(["dnsmasq", "--no-daemon", "--conf-file=/dev/null", "--no-resolv",
                            "--no-hosts", "--listen-address=127.0.0.1", "--bind-interfaces",
                            "--address=/%s/127.0.0.1" % NAME.decode()])
    try:  # until it listens on 127.0.0.1 port 53 (0100007F:0035)
        wait_until(lambda: " 0100007F:0035 " in open("/proc/net/udp").read(), "dnsmasq")
        for n, (etc, host, port, code) in enumerate(cases):
            root, trace = tmp_path / str(n), tmp_path / f"{n}.trace"
            os.makedirs(root / "etc")
            for name, text in etc.items():
                (root / "etc" / name).write_text(text)
            shutil.copy(BIN, root / "knockbox")
            if RUNNER:
                shutil.copy(shutil.which(RUNNER[0]), root / "runner")
            done = subprocess.run(["strace", "-o", trace, "-e", "trace=open,openat,execve", "chroot",
                                   root, *(["/runner"] if RUNNER else []), "/knockbox",
                                   b"%s:%d" % (host, port)], stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=limit(10))
            after_start = trace.read_text().rsplit("execve(", 1)[1]
            opened = re.findall(r'"([^"]*\.so\b[^"]*)"', after_start)
            rest = SUCCESS if code == 0 else failure(host, 57)
            assert (done.returncode, mask_clock(done.stdout), opened) == (
                code, probe_output(host, port, rest), []), etc
    finally:
        dns.kill()
        dns.wait()
