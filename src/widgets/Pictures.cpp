#include "widgets/Pictures.h"

#include <QImage>
#include <QPainter>
#include <QResource>
#include <QSvgRenderer>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// The drawing of ":/res/NAME.svg" made when the program was built, when it
// has this size; else a null image. Stored as its width and height (two
// 32-bit numbers) and its premultiplied ARGB pixels, uncompressed.
QImage builtDrawing(const QString& resourcePath, QSize size)
{
    const QLatin1String prefix(":/res/"), suffix(".svg");
    if (size.isEmpty() || !resourcePath.startsWith(prefix) || !resourcePath.endsWith(suffix))
        return {};
    const QStringView name = QStringView(resourcePath).sliced(prefix.size(), resourcePath.size() - prefix.size() - suffix.size());
    const QResource drawn(QLatin1String(":/res/drawn/") + name.toString());
    const qint64 pixelBytes = qint64(size.width()) * size.height() * 4;
    uint32_t header[2] = {0, 0};
    if (!drawn.isValid() || drawn.compressionAlgorithm() != QResource::NoCompression
        || drawn.size() != qint64(sizeof header) + pixelBytes)
        return {};
    std::memcpy(header, drawn.data(), sizeof header);
    if (header[0] != uint32_t(size.width()) || header[1] != uint32_t(size.height()))
        return {};
    // Copied: the resource's bytes need not be aligned as an image's rows.
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || image.sizeInBytes() != pixelBytes)
        return {};
    std::memcpy(image.bits(), drawn.data() + sizeof header, size_t(pixelBytes));
    return image;
}

} // namespace

QImage renderSvgPicture(const QString& resourcePath, QSize size)
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

QImage renderPictureImage(const QString& resourcePath, QSize size)
{
    QImage drawn = builtDrawing(resourcePath, size);
    return drawn.isNull() ? renderSvgPicture(resourcePath, size) : drawn;
}

QPixmap renderPicture(const QString& resourcePath, QSize size)
{
    return QPixmap::fromImage(renderPictureImage(resourcePath, size));
}

QIcon renderPictureIcon(const QString& resourcePath, std::initializer_list<QSize> sizes, qreal devicePixelRatio)
{
    QIcon icon;
    std::unique_ptr<QSvgRenderer> renderer; // made for the first size without a drawing
    for (const QSize size : sizes) {
        QImage image = devicePixelRatio == 1.0 ? builtDrawing(resourcePath, size) : QImage();
        if (image.isNull()) {
            if (!renderer)
                renderer = std::make_unique<QSvgRenderer>(resourcePath);
            if (!renderer->isValid())
                break;
            image = QImage(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter p(&image);
            renderer->render(&p);
        }
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(devicePixelRatio);
        icon.addPixmap(pixmap);
    }
    return icon;
}
