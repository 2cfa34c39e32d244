#include "ui/TrayArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <algorithm>
#include <span>

namespace {

// The handset in a 24-unit box: a curved handle with the ear and mouth cups on the
// inside of the curve, ear at the top left, mouth at the bottom right.
QPainterPath Handset() {
  const QPointF centre(17.0, 7.0);
  const double radius = 9.5;
  QPainterPath handle;
  handle.arcMoveTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 180);
  handle.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 180, 90);
  QPainterPathStroker stroker;
  stroker.setWidth(3.8);
  stroker.setCapStyle(Qt::RoundCap);
  QPainterPath shape = stroker.createStroke(handle);

  // Cups: rounded bars across the ends, reaching into the curve.
  QPainterPath ear;
  ear.addRoundedRect(QRectF(5.0, 4.2, 6.6, 4.6), 1.8, 1.8);
  QPainterPath mouth;
  mouth.addRoundedRect(QRectF(15.2, 12.4, 4.6, 6.6), 1.8, 1.8);
  return shape.united(ear).united(mouth).simplified();
}

// Short arcs at the top right: the ring. Pictures below 24 pixels get one bold arc, as two
// thin ones blur into a smudge there.
QPainterPath Waves(bool small) {
  QPainterPath waves;
  const QPointF centre(17.0, 7.0);
  const double radii[] = {2.6, 5.0};
  const double smallRadius[] = {4.4};
  for (double r : small ? std::span<const double>(smallRadius) : std::span<const double>(radii)) {
    QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
    waves.arcMoveTo(box, 0);
    waves.arcTo(box, 0, 90);
  }
  QPainterPathStroker stroker;
  stroker.setWidth(small ? 2.6 : 1.7);
  stroker.setCapStyle(Qt::RoundCap);
  return stroker.createStroke(waves);
}

}  // namespace

QPixmap DrawTrayPicture(TrayPicture picture, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);

  const bool activity = picture == TrayPicture::Activity;
  const bool down = picture == TrayPicture::Down;
  struct Tile {
    QColor top, bottom, edge;
  };
  const Tile tiles[] = {
      {QColor(0x3b, 0x7d, 0xd8), QColor(0x1e, 0x4f, 0x9c), QColor(0x15, 0x3a, 0x75)},  // idle
      {QColor(0xff, 0xa8, 0x2e), QColor(0xe0, 0x64, 0x10), QColor(0xa8, 0x48, 0x08)},  // activity
      {QColor(0x6e, 0x6e, 0x6e), QColor(0x44, 0x44, 0x44), QColor(0x2a, 0x2a, 0x2a)},  // down
  };
  const Tile& colours = tiles[activity ? 1 : down ? 2 : 0];
  QLinearGradient fill(0, 0, 0, size);
  fill.setColorAt(0, colours.top);
  fill.setColorAt(1, colours.bottom);
  const QRectF tile(0.5, 0.5, size - 1.0, size - 1.0);
  const double corner = size * 0.2;
  painter.setPen(QPen(colours.edge, 1.0));
  painter.setBrush(fill);
  painter.drawRoundedRect(tile, corner, corner);

  // Both glyphs are fitted with the same box (handset and ring together), so the
  // handset does not move when the picture swaps.
  const QRectF box = Handset().boundingRect().united(Waves(false).boundingRect());
  const double margin = size * 0.14;
  const double scale = (size - 2 * margin) / std::max(box.width(), box.height());
  painter.translate(size / 2.0, size / 2.0);
  painter.scale(scale, scale);
  painter.translate(-box.center());
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  QPainterPath glyph = Handset();
  if (activity) glyph = glyph.united(Waves(size < 24));
  painter.drawPath(glyph);
  if (down) {
    // A red bar from corner to corner, with a dark rim so it stands out on the handset.
    painter.resetTransform();
    const QLineF bar(size * 0.2, size * 0.2, size * 0.8, size * 0.8);
    painter.setPen(QPen(QColor(0x2a, 0x2a, 0x2a), std::max(2.4, size * 0.15), Qt::SolidLine,
                        Qt::RoundCap));
    painter.drawLine(bar);
    painter.setPen(
        QPen(QColor(0xe8, 0x20, 0x20), std::max(1.4, size * 0.09), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(bar);
  }
  painter.end();
  return pixmap;
}

QIcon MakeTrayIcon(TrayPicture picture) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(DrawTrayPicture(picture, size));
  return icon;
}

const QIcon& ProgramIcon() {
  static const QIcon icon = MakeTrayIcon(TrayPicture::Idle);
  return icon;
}
