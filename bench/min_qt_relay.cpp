// The minimal relay written the way the program is built: Qt's event loop, QSerialPort
// and QUdpSocket, and nothing else. It reads the device, cuts its text into lines at CR or
// LF, keeps the number of the last NMBR line and sends one datagram per NAME line
// ("number:name") to 127.0.0.1:PORT. Beside bench/min_relay.c it shows what Qt itself costs
// on the way from a received line to a datagram.
//   min_qt_relay DEVICE PORT
#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QSerialPort>
#include <QUdpSocket>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: min_qt_relay DEVICE PORT\n");
    return 2;
  }
  qputenv("QT_NO_GLIB", "1");  // the event loop a headless run of the program uses
  QCoreApplication app(argc, argv);
  QNetworkProxyFactory::setUseSystemConfiguration(false);
  QSerialPort port(QString::fromLocal8Bit(argv[1]));
  if (!port.open(QIODevice::ReadWrite)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(port.errorString()));
    return 1;
  }
  // Connected once, like the C relay's socket: the route is not looked up for every datagram.
  QUdpSocket out;
  out.bind(QHostAddress::LocalHost, 0);
  out.connectToHost(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(std::atoi(argv[2])));
  if (!out.waitForConnected(1000)) {
    std::fprintf(stderr, "port %s: %s\n", argv[2], qPrintable(out.errorString()));
    return 1;
  }
  std::string line, number;
  QObject::connect(&port, &QSerialPort::readyRead, [&] {
    const QByteArray text = port.readAll();
    for (char c : text) {
      if (c != '\r' && c != '\n') {
        if (line.size() < 511) line += c;
        continue;
      }
      if (line.compare(0, 7, "NMBR = ") == 0) {
        number = line.substr(7);
      } else if (line.compare(0, 7, "NAME = ") == 0) {
        const std::string message = number + ":" + line.substr(7);
        out.write(message.data(), static_cast<qint64>(message.size()));
        number.clear();
      }
      line.clear();
    }
  });
  return QCoreApplication::exec();
}
