// The smallest Qt program of the program's kind, for the end-to-end benchmark's memory
// figure: a QCoreApplication with one UDP socket on 127.0.0.1 and its event loop, nothing
// else. What it keeps resident is the part of the program's memory that Qt Core and
// Network cost by themselves.
#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QUdpSocket socket;
  socket.bind(QHostAddress::LocalHost, 0);
  QObject::connect(&socket, &QUdpSocket::readyRead, [&] {
    while (socket.hasPendingDatagrams()) socket.receiveDatagram();
  });
  return QCoreApplication::exec();
}
