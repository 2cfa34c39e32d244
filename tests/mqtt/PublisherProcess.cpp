// Helper of the will test: runs one MqttPublisher against 127.0.0.1:<port> until it is
// killed, printing each state change on its own line.
//   mqtt_publisher_process <port> <node>
#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "mqtt/MqttPublisher.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) return 2;
  MqttConfig config;
  config.host = "127.0.0.1";
  config.port = std::stoi(argv[1]);
  MqttPublisher publisher(config, argv[2], "helper", "test", [](const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
  });
  QObject::connect(&publisher, &MqttPublisher::stateChanged, [](const QString& state) {
    std::printf("%s\n", state.toUtf8().constData());
    std::fflush(stdout);
  });
  publisher.Start();
  return app.exec();
}
