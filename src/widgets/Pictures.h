#pragma once
// The program's pictures are SVG sources compiled in under :/res; this
// renders one at an exact pixel size.
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <initializer_list>

QPixmap renderPicture(const QString& resourcePath, QSize size);
QImage renderPictureImage(const QString& resourcePath, QSize size);

// An icon of a picture drawn once at each of the sizes (device-independent
// pixels) for a screen of devicePixelRatio. The icon holds pixmaps, so Qt
// derives its disabled and selected looks from them as for any pixmap icon,
// and showing it needs neither an icon engine nor an image format plugin.
QIcon renderPictureIcon(const QString& resourcePath, std::initializer_list<QSize> sizes, qreal devicePixelRatio);
