// history_helper: the call history in a process of its own, for the tests.
//  history_helper calls HOME N [--json]  runs RunCallsCommand without a QCoreApplication.
//  history_helper record HOME FLUSH_MS   records one call every 10 ms, numbered 1, 2, ...
//                                        and timed now, until it is killed; prints "go"
//                                        once the history is open.
//  history_helper open HOME              opens the history, records one call and flushes;
//                                        prints the log lines; status 3 when it is off.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "history/CallHistory.h"
#include "history/CallsCommand.h"
#include "history/HistoryTable.h"

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "calls") == 0)
    return RunCallsCommand(argv[2], std::atoi(argv[3]),
                           argc > 4 && std::strcmp(argv[4], "--json") == 0, stdout, stderr);
  QCoreApplication app(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "open") == 0) {
    CallHistoryConfig config;
    config.file = CallHistoryFile(argv[2]);
    CallHistory history(config, [](const std::string& text) { std::printf("%s\n", text.c_str()); });
    CompletedCall call;
    call.number = "1";
    history.Record(call);
    return history.Enabled() && history.Flush() ? 0 : 3;
  }
  if (argc != 4 || std::strcmp(argv[1], "record") != 0) {
    std::fprintf(
        stderr, "usage: history_helper calls HOME N [--json] | record HOME FLUSH_MS | open HOME\n");
    return 2;
  }
  CallHistoryConfig config;
  config.file = CallHistoryFile(argv[2]);
  config.flushIntervalMs = std::atoi(argv[3]);
  CallHistory history(config,
                      [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
  if (!history.Enabled()) return 3;
  long n = 0;
  QTimer ring;
  ring.setInterval(10);
  QObject::connect(&ring, &QTimer::timeout, [&] {
    CompletedCall call;
    call.time = std::chrono::system_clock::now();
    call.number = std::to_string(++n);
    call.name = "Caller " + call.number;
    history.Record(call);
  });
  ring.start();
  std::printf("go\n");
  std::fflush(stdout);
  return app.exec();
}
