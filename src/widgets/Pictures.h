#pragma once
// The program's pictures are SVG sources compiled in under :/res; this
// renders one at an exact pixel size.
#include <QPixmap>
#include <QSize>
#include <QString>

QPixmap renderPicture(const QString& resourcePath, QSize size);
QImage renderPictureImage(const QString& resourcePath, QSize size);
