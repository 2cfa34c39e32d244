// GoogleTest main for the widget tests: a QApplication on the offscreen platform, so
// the tests need no display and never show a window on one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>

namespace {
QtMessageHandler gNextHandler = nullptr;

// The offscreen platform lacks raising, size hints and a tray, and Qt says so every
// time; that is expected here and would only hide real warnings.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support")) ||
      message.contains(QLatin1String("systemTrayWindowChanged")))
    return;
  if (gNextHandler) gNextHandler(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    // Keeps Qt from warning about a missing runtime folder on headless machines.
    const QByteArray dir = "/tmp/runtime-ui-tests-" + QByteArray::number(getuid());
    mkdir(dir.constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", dir);
  }
  gNextHandler = qInstallMessageHandler(QuietOffscreen);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
