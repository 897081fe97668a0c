#pragma once
// The program's pictures are SVG sources compiled in under :/res; this
// renders one at an exact pixel size.
//
// Each picture is also drawn once at its own size when the program is built
// (src/res/DrawPictures.cpp, under :/res/drawn): asked for at that size, a
// picture is that drawing, which costs no SVG parsing and no text layout at
// start; at any other size it is rendered from the SVG.
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <initializer_list>

QPixmap renderPicture(const QString& resourcePath, QSize size);
QImage renderPictureImage(const QString& resourcePath, QSize size);

// The picture rendered from its SVG now, never the drawing made at build
// time (which must not differ from it).
QImage renderSvgPicture(const QString& resourcePath, QSize size);

// An icon of a picture drawn once at each of the sizes (device-independent
// pixels) for a screen of devicePixelRatio. The icon holds pixmaps, so Qt
// derives its disabled and selected looks from them as for any pixmap icon,
// and showing it needs neither an icon engine nor an image format plugin.
QIcon renderPictureIcon(const QString& resourcePath, std::initializer_list<QSize> sizes, qreal devicePixelRatio);
