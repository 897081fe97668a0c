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

QIcon renderPictureIcon(const QString& resourcePath, std::initializer_list<QSize> sizes, qreal devicePixelRatio)
{
    QIcon icon;
    QSvgRenderer renderer(resourcePath);
    if (!renderer.isValid())
        return icon;
    for (const QSize size : sizes) {
        QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            renderer.render(&p);
        }
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(devicePixelRatio);
        icon.addPixmap(pixmap);
    }
    return icon;
}
