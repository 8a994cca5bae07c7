# The demo behind `make run`: a listener on 127.0.0.1 for about three seconds, probed every second
# by the real program until the listener goes away. Usage: demo.py PATH-TO-KNOCKBOX
import socket
import subprocess
import sys
import threading
import time

listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(16)
port = listener.getsockname()[1]


def serve():
    while True:
        try:
            conn, _ = listener.accept()
        except OSError:
            return  # the listener was closed
        with conn:
            conn.settimeout(2)
            try:
                while conn.recv(4096):
                    pass
            except OSError:
                pass


threading.Thread(target=serve, daemon=True).start()
print(f"$ knockbox 127.0.0.1:{port} 1   (a listener accepts on that port for about 3 seconds)",
      flush=True)
knockbox = subprocess.Popen([sys.argv[1], f"127.0.0.1:{port}", "1"])
time.sleep(3.2)
listener.shutdown(socket.SHUT_RDWR)
listener.close()
try:
    print(f"$ echo $?\n{knockbox.wait(timeout=20)}")
except subprocess.TimeoutExpired:
    knockbox.kill()
    sys.exit("demo: knockbox did not end")
