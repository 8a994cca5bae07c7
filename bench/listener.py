# A loopback listener for the benchmark: accepts every connection and reads it until it closes.
# Prints its port, then serves until killed.
import socket
import sys
import threading


def drain(conn):
    with conn:
        while conn.recv(4096):
            pass


listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(128)
print(listener.getsockname()[1], flush=True)
sys.stdout.close()
while True:
    conn, _ = listener.accept()
    threading.Thread(target=drain, args=(conn,), daemon=True).start()
