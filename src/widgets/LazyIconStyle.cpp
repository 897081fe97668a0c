#include "widgets/LazyIconStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>

namespace {

// Stands for a standard icon of a style and asks the style for it when it
// is first drawn or measured. It is never null: the style has an icon for
// each of the pixmaps it stands for.
class LazyStandardIconEngine : public QIconEngine {
public:
    LazyStandardIconEngine(const QStyle* style, QStyle::StandardPixmap pixmap, const QStyleOption* option)
        : m_style(style), m_pixmap(pixmap), m_hasOption(option != nullptr)
    {
        if (option)
            m_direction = option->direction;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QString iconName() override { return icon().name(); }
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("LazyStandardIconEngine"); }
    QIconEngine* clone() const override { return new LazyStandardIconEngine(*this); }

private:
    const QIcon& icon()
    {
        if (!m_asked) {
            m_asked = true;
            // The direction is all of the option these icons depend on.
            QStyleOption option;
            option.direction = m_direction;
            if (m_style)
                m_icon = m_style->standardIcon(m_pixmap, m_hasOption ? &option : nullptr);
        }
        return m_icon;
    }

    QPointer<const QStyle> m_style;
    QStyle::StandardPixmap m_pixmap;
    bool m_hasOption;
    Qt::LayoutDirection m_direction = Qt::LeftToRight;
    bool m_asked = false;
    QIcon m_icon;
};

} // namespace

LazyIconStyle::LazyIconStyle(const QString& styleName) : QProxyStyle(styleName) {}

QIcon LazyIconStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option, const QWidget* widget) const
{
    switch (standardIcon) {
    case SP_ToolBarHorizontalExtensionButton:
    case SP_ToolBarVerticalExtensionButton:
    case SP_TitleBarCloseButton:
    case SP_TitleBarNormalButton:
        // Asked for later without the widget, which may be gone by then:
        // these icons follow only the layout direction.
        return QIcon(new LazyStandardIconEngine(baseStyle(), standardIcon, option));
    default:
        break;
    }
    return QProxyStyle::standardIcon(standardIcon, option, widget);
}
