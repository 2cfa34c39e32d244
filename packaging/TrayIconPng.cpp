// Writes the idle tray picture as the program's icon for the desktop's icon theme:
// <folder>/<size>x<size>/apps/xapvyncid.png for each size given. Runs at build time on
// Qt's offscreen platform, so it needs no display.
//
//   xapvyncid_icon_png FOLDER SIZE...
#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/TrayArt.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("Usage: xapvyncid_icon_png FOLDER SIZE...\n", stderr);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 8 || size > 1024) {
      std::fprintf(stderr, "xapvyncid_icon_png: size '%s' is not a number from 8 to 1024\n",
                   argv[i]);
      return 2;
    }
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
    const QString file = dir + QStringLiteral("/xapvyncid.png");
    if (!QDir().mkpath(dir) || !DrawTrayPicture(TrayPicture::Idle, size).save(file, "PNG")) {
      std::fprintf(stderr, "xapvyncid_icon_png: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
