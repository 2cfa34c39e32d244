// demo_modem: a simulated caller-ID modem on a pseudo-terminal. It prints the
// device path (and writes it to --path-file), waits for the program to open the
// port and send its initialisation command, then rings a few sample calls.
//   demo_modem [--path-file FILE] [--gap SECONDS] [--wait-init SECONDS]
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

void Say(int fd, const std::string& text) {
  std::string out = text;
  [[maybe_unused]] auto n = write(fd, out.data(), out.size());
}

std::string Shown(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "<CR>";
    else if (c == '\n') out += "<LF>";
    else out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const char* pathFile = nullptr;
  double gap = 3, waitInit = 10;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--path-file") && i + 1 < argc) pathFile = argv[++i];
    else if (!std::strcmp(argv[i], "--gap") && i + 1 < argc) gap = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--wait-init") && i + 1 < argc) waitInit = std::atof(argv[++i]);
    else {
      std::fprintf(stderr, "usage: demo_modem [--path-file FILE] [--gap S] [--wait-init S]\n");
      return 2;
    }
  }
  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("demo_modem: openpty");
    return 1;
  }
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);
  std::printf("demo_modem: modem on %s\n", name);
  std::fflush(stdout);
  if (pathFile) {
    FILE* f = std::fopen(pathFile, "w");
    if (f) {
      std::fprintf(f, "%s\n", name);
      std::fclose(f);
    }
  }

  // Wait for the initialisation command from the program.
  std::string received;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(long(waitInit * 1000));
  while (std::chrono::steady_clock::now() < until && received.find("\r\n") == std::string::npos) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      char buf[256];
      ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) received.append(buf, static_cast<std::size_t>(n));
    }
  }
  if (!received.empty()) std::printf("demo_modem: received %s\n", Shown(received).c_str());
  else std::printf("demo_modem: no initialisation command arrived; ringing anyway\n");
  if (received.find("\r\n") != std::string::npos) Say(master, "OK\r\n");

  const std::vector<std::pair<const char*, std::string>> calls = {
      {"a call with number and name",
       "RING\r\n\r\nDATE = 1205\r\nTIME = 1845\r\nNMBR = 5551234567\r\nNAME = JOHN DOE\r\n\r\nRING\r\n"},
      {"a number without a name (completed 500 ms later)", "RING\r\n\r\nNMBR = 2125550199\r\n"},
      {"a withheld name", "RING\r\n\r\nNMBR = 3125550142\r\nNAME = O\r\n"},
      {"a network caller-ID frame", "###DATE12051846...NMBR4155550123...NAMEJANE SMITH+++\r"},
      {"name before number", "RING\r\n\r\nNAME = ACME PLUMBING\r\nNMBR = 6175550188\r\n"},
  };
  for (const auto& [what, text] : calls) {
    std::this_thread::sleep_for(std::chrono::milliseconds(long(gap * 1000)));
    std::printf("demo_modem: ringing %s: %s\n", what, Shown(text).c_str());
    std::fflush(stdout);
    Say(master, text);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(long(gap * 1000)));
  std::printf("demo_modem: done\n");
  close(slave);
  close(master);
  return 0;
}
