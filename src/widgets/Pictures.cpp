#include "widgets/Pictures.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

QImage renderPictureImage(const QString& resourcePath, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(resourcePath);
    if (renderer.isValid()) {
        QPainter p(&image);
        renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    return image;
}

QPixmap renderPicture(const QString& resourcePath, QSize size)
{
    return QPixmap::fromImage(renderPictureImage(resourcePath, size));
}
