#pragma once
// TrayArt: the two tray pictures, drawn by the program: the idle picture (a white
// telephone handset on a blue tile) and the activity picture (the handset ringing on
// an amber tile). Each icon holds a pixmap drawn for every common tray size (16, 22,
// 24, 32, 48 and 64 pixels), so it stays sharp wherever the tray puts it.
#include <QIcon>
#include <QPixmap>

enum class TrayPicture { Idle, Activity };

// One picture drawn at size x size pixels.
QPixmap DrawTrayPicture(TrayPicture picture, int size);
// The picture at all tray sizes.
QIcon MakeTrayIcon(TrayPicture picture);
