#pragma once
// TrayArt: the tray pictures, drawn by the program: the idle picture (a white
// telephone handset on a blue tile), the activity picture (the handset ringing on
// an amber tile) and the link-down picture (the handset struck through by a red bar on
// a grey tile, shown while the caller-ID link is closed). Each icon holds a pixmap drawn for every common tray size (16, 22,
// 24, 32, 48 and 64 pixels), so it stays sharp wherever the tray puts it.
#include <QIcon>
#include <QPixmap>

enum class TrayPicture { Idle, Activity, Down };

// One picture drawn at size x size pixels.
QPixmap DrawTrayPicture(TrayPicture picture, int size);
// The picture at all tray sizes.
QIcon MakeTrayIcon(TrayPicture picture);
// The program's icon for its windows: the idle picture, made once.
const QIcon& ProgramIcon();
