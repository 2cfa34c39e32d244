// xap_listen: prints every xAP datagram that arrives on a loopback UDP port, as
// the xAP hub would see it. Used by the demo and by hand.
//   xap_listen [--port N] [--seconds S]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
  int port = 3639;
  double seconds = 0;  // 0: until killed
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--port") && i + 1 < argc) port = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atof(argv[++i]);
    else {
      std::fprintf(stderr, "usage: xap_listen [--port N] [--seconds S]\n");
      return 2;
    }
  }
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::fprintf(stderr, "xap_listen: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
    return 1;
  }
  std::printf("xap_listen: listening on 127.0.0.1:%d\n", port);
  std::fflush(stdout);
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(long(seconds * 1000));
  char buf[65536];
  for (;;) {
    int wait = -1;
    if (seconds > 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      wait = static_cast<int>(left);
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, wait) <= 0) continue;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0) continue;
    std::time_t t = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&t));
    std::printf("---- %s  %zd bytes\n%.*s", stamp, n, static_cast<int>(n), buf);
    if (n > 0 && buf[n - 1] != '\n') std::printf("\n");
    std::fflush(stdout);
  }
  close(fd);
  return 0;
}
