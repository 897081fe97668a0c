#pragma once
// The application's style, with the standard icons that Qt reads from PNG
// files (the arrows of a toolbar or menu bar too narrow for its items, the
// buttons of a floating window's title) read when they are first drawn, not
// when their buttons are made. Reading the first such file makes Qt load
// and ask every image format plugin, and none of these buttons shows in a
// window's first paint. The icons are the style's own, unchanged.
#include <QProxyStyle>

class LazyIconStyle : public QProxyStyle {
public:
    // Wraps a new instance of the style named (the application's style).
    explicit LazyIconStyle(const QString& styleName);

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
