// Socket checks that need no platform code.
#include "net/socket.h"

bool ConnectedToItself(std::intptr_t socket) {
  SocketEndpoint local;
  SocketEndpoint peer;
  return ReadEndpoints(socket, &local, &peer) && local == peer;
}
