# The static program: it runs in a root that holds nothing but itself and /etc/hosts, and looks
# names up in /etc/hosts and DNS alone, whatever nsswitch.conf names, loading no shared object.
import os
import re
import shutil
import subprocess

import pytest

from conftest import (BIN, RUNNER, STATIC, SUCCESS, failure, limit, mask_clock, probe_output,
                      refused_port, wait_until)

pytestmark = [
    pytest.mark.skipif(not STATIC, reason="for the static program (make static-test)"),
    pytest.mark.skipif(os.geteuid() != 0, reason="chroot and private mount namespaces need root: "
                       "run make static-test as root"),
]
HOSTS = "127.0.0.1 localhost\n"
NAME = b"knockbox-e2e.example"  # made up; only the test's DNS server knows it


def expect(wrapped, target, exit_code, out):
    done = subprocess.run([*wrapped, target], stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=limit(10))
    assert (done.returncode, mask_clock(done.stdout), done.stderr) == (exit_code, out, b"")


def write_files(folder, files):
    folder.mkdir(parents=True, exist_ok=True)
    for name, text in files.items():
        (folder / name).write_text(text)


def test_an_empty_root_holding_only_the_program_and_etc_hosts_is_enough(server, tmp_path):
    write_files(tmp_path / "etc", {"hosts": HOSTS})
    shutil.copy(BIN, tmp_path / "knockbox")
    if RUNNER:  # the emulator of another processor's program is static as well
        shutil.copy(shutil.which(RUNNER[0]), tmp_path / "runner")
    runner = ["/runner"] if RUNNER else []
    chrooted, s, refused = ["chroot", tmp_path, *runner, "/knockbox"], server(), refused_port()
    for host in [b"127.0.0.1", b"localhost"]:
        expect(chrooted, b"%s:%d" % (host, s.port), 0, probe_output(host, s.port, SUCCESS))
    expect(chrooted, b"127.0.0.1:%d" % refused, 10,
           probe_output(b"127.0.0.1", refused, failure(b"127.0.0.1", 57)))


# A DNS server on 127.0.0.1 answers one made-up name. In a private mount namespace whose /etc holds
# /etc/hosts, a resolv.conf naming that server and one nsswitch.conf or none, the name resolves and
# the trace of the program's opens names no shared object (nor the loader's cache).
def test_names_come_from_etc_hosts_and_dns_alone_loading_no_module(server, tmp_path):
    dns = subprocess.Popen(["dnsmasq", "--no-daemon", "--conf-file=/dev/null", "--no-resolv",
                            "--no-hosts", "--listen-address=127.0.0.1", "--bind-interfaces",
                            "--address=/%s/127.0.0.1" % NAME.decode()],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        # Until the server listens (0100007F:0035 is 127.0.0.1 port 53) or has given up.
        wait_until(lambda: dns.poll() is not None or " 0100007F:0035 " in open(
            "/proc/net/udp").read(), "the DNS server")
        assert dns.poll() is None, dns.stderr.read()
        s = server()
        for lookup in ["hosts: files dns\n", None, "hosts: files mdns4_minimal [NOTFOUND=return] "
                       "resolve [!UNAVAIL=return] myhostname dns\n"]:
            etc, trace = tmp_path / str(len(lookup or "")), tmp_path / "trace"
            write_files(etc, {"hosts": HOSTS, "resolv.conf": "nameserver 127.0.0.1\n",
                              **({"nsswitch.conf": lookup} if lookup else {})})
            traced = ["unshare", "--mount", "sh", "-c", 'mount --bind "$0" /etc && exec "$@"', etc,
                      "strace", "-o", trace, "-e", "trace=open,openat", *RUNNER, BIN]
            expect(traced, NAME + b":%d" % s.port, 0, probe_output(NAME, s.port, SUCCESS))
            assert not re.findall(r'"([^"]*\.so\b[^"]*)"', trace.read_text()), lookup
    finally:
        dns.kill()
        dns.wait()
