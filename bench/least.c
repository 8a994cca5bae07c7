/* The least program that does Knockbox's job, for comparison: look up HOST (a name or dotted
   IPv4 text) and connect to PORT; when the port accepts, send "BYE" CR CR LF, pause 10 ms and
   close. Exit 0, or 10 when the lookup or the connect fails. */
#include <netdb.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  struct addrinfo hints;
  memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* found = NULL;
  if (getaddrinfo(argv[1], argv[2], &hints, &found) != 0) return 10;
  int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0 || connect(s, found->ai_addr, found->ai_addrlen) != 0) return 10;
  send(s, "BYE\r\r\n", 6, MSG_NOSIGNAL);
  struct timespec pause = {0, 10000000};
  nanosleep(&pause, NULL);
  close(s);
  return 0;
}
