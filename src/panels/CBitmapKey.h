#pragma once
// A remote key of the meter face: a button drawn entirely from its picture,
// at a fixed place on the face. The picture is the same in both states; a
// press shows through the pointer. Every time the key goes down (a press,
// or the pointer coming back onto a held key) it emits its press packet; a
// double-click emits the key's double-click packet when it has one.
#include "panels/FaceKeys.h"

#include <QAbstractButton>
#include <QCursor>
#include <QPixmap>

class CBitmapKey : public QAbstractButton {
    Q_OBJECT
public:
    CBitmapKey(const FaceKey& info, const QCursor& pressedCursor, QWidget* parent = nullptr);

    const FaceKey& info() const { return m_info; }

signals:
    void packet(const QByteArray& bytes);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QSize sizeHint() const override { return m_info.size; }

private:
    void onPressed();

    const FaceKey& m_info;
    QCursor m_pressedCursor;
    QPixmap m_picture;
};
