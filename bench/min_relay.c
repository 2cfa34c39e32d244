/* The least a caller-ID daemon can do, for comparison in the end-to-end benchmark:
 * read a serial device (here a pseudo-terminal), cut its text into lines at CR or LF,
 * keep the number of the last NMBR line, and send one UDP datagram per NAME line
 * ("number:name") to 127.0.0.1:PORT. No settings, no naming, no logs.
 *   min_relay DEVICE PORT */
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: min_relay DEVICE PORT\n");
    return 2;
  }
  int dev = open(argv[1], O_RDWR | O_NOCTTY);
  if (dev < 0) {
    perror(argv[1]);
    return 1;
  }
  struct termios t;
  if (tcgetattr(dev, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(dev, TCSANOW, &t);
  }
  int out = socket(AF_INET, SOCK_DGRAM, 0);
  struct sockaddr_in to = {0};
  to.sin_family = AF_INET;
  to.sin_port = htons((unsigned short)atoi(argv[2]));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(out, (struct sockaddr *)&to, sizeof to);

  char buf[4096], line[512], number[64] = "", msg[640];
  size_t used = 0;
  struct pollfd p = {dev, POLLIN, 0};
  for (;;) {
    if (poll(&p, 1, -1) < 0) continue;
    ssize_t n = read(dev, buf, sizeof buf);
    if (n <= 0) return 0;
    for (ssize_t i = 0; i < n; ++i) {
      char c = buf[i];
      if (c != '\r' && c != '\n') {
        if (used < sizeof line - 1) line[used++] = c;
        continue;
      }
      line[used] = '\0';
      if (strncmp(line, "NMBR = ", 7) == 0) {
        snprintf(number, sizeof number, "%.63s", line + 7);
      } else if (strncmp(line, "NAME = ", 7) == 0) {
        int len = snprintf(msg, sizeof msg, "%s:%s", number, line + 7);
        send(out, msg, (size_t)len, 0);
        number[0] = '\0';
      }
      used = 0;
    }
  }
}
