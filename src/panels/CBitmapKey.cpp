#include "panels/CBitmapKey.h"

#include "widgets/Pictures.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

CBitmapKey::CBitmapKey(const FaceKey& info, const QCursor& pressedCursor, QWidget* parent)
    : QAbstractButton(parent)
    , m_info(info)
    , m_pressedCursor(pressedCursor)
    , m_picture(renderPicture(QString::fromLatin1(info.picture), info.size))
{
    setText(QString::fromLatin1(meter::remoteKeyInfo(info.key).controlText));
    // In the tab order, pressed by Space like any button; a click leaves the
    // focus where it was.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QString::fromUtf8(info.name));
    setGeometry(QRect(info.position, info.size));
    connect(this, &QAbstractButton::pressed, this, &CBitmapKey::onPressed);
    connect(this, &QAbstractButton::released, this, [this] { unsetCursor(); });
}

void CBitmapKey::onPressed()
{
    setCursor(m_pressedCursor);
    emit packet(meter::keyPressPacket(m_info.key));
}

void CBitmapKey::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a double-click is not a new press: it sends the
    // double-click code, or nothing for keys without one.
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const QByteArray bytes = meter::keyDoubleClickPacket(m_info.key);
    if (!bytes.isEmpty())
        emit packet(bytes);
}

void CBitmapKey::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_picture);
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}
