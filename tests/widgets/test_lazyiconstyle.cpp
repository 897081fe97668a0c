// The application style that reads some standard icons when first drawn:
// its icons look as the wrapped style's own, in every mode and size, for
// either layout direction, and a menu bar, a toolbar and a dock window made
// under it draw their buttons as under the plain style.
#include "widgets/LazyIconStyle.h"

#include <QApplication>
#include <QDockWidget>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace {

QImage pixels(const QIcon& icon, int size, QIcon::Mode mode)
{
    return icon.pixmap(QSize(size, size), 1.0, mode).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A main window with a menu bar, a toolbar too narrow for its actions and a
// floating dock window, drawn.
QImage windowDrawnWith(QStyle* style)
{
    QMainWindow window;
    window.setStyle(style);
    window.menuBar()->setStyle(style);
    window.menuBar()->addMenu(QStringLiteral("&File"));
    QToolBar* bar = window.addToolBar(QStringLiteral("Tools"));
    bar->setStyle(style);
    for (int i = 0; i < 30; ++i)
        bar->addAction(QStringLiteral("Action %1").arg(i));
    auto* dock = new QDockWidget(QStringLiteral("Events"), &window);
    dock->setStyle(style);
    window.addDockWidget(Qt::LeftDockWidgetArea, dock);
    window.resize(300, 200);
    QImage picture(window.size(), QImage::Format_RGB32);
    picture.fill(Qt::magenta);
    window.render(&picture);
    return picture;
}

} // namespace

TEST(LazyIconStyle, IconsAreTheWrappedStylesOwn)
{
    const QString name = QApplication::style()->name();
    LazyIconStyle lazy(name);
    const std::unique_ptr<QStyle> plain(QStyleFactory::create(name));
    ASSERT_NE(plain, nullptr);
    const QStyle::StandardPixmap pixmaps[] = {
        QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton,
        QStyle::SP_TitleBarCloseButton, QStyle::SP_TitleBarNormalButton, QStyle::SP_MessageBoxWarning};
    QStyleOption rightToLeft;
    rightToLeft.direction = Qt::RightToLeft;
    for (const QStyle::StandardPixmap sp : pixmaps) {
        const QStyleOption* const options[] = {nullptr, &rightToLeft};
        for (const QStyleOption* option : options) {
            const QIcon got = lazy.standardIcon(sp, option);
            const QIcon want = plain->standardIcon(sp, option);
            ASSERT_FALSE(want.isNull());
            EXPECT_FALSE(got.isNull());
            EXPECT_EQ(got.availableSizes(), want.availableSizes()) << int(sp);
            for (const int size : {8, 16, 24, 32})
                for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active}) {
                    SCOPED_TRACE(testing::Message() << int(sp) << " rtl " << (option != nullptr) << " size " << size
                                                    << " mode " << int(mode));
                    EXPECT_EQ(got.actualSize(QSize(size, size), mode), want.actualSize(QSize(size, size), mode));
                    EXPECT_TRUE(pixels(got, size, mode) == pixels(want, size, mode));
                }
        }
    }
}

TEST(LazyIconStyle, WindowsDrawAsUnderThePlainStyle)
{
    const QString name = QApplication::style()->name();
    LazyIconStyle lazy(name);
    const std::unique_ptr<QStyle> plain(QStyleFactory::create(name));
    const QImage want = windowDrawnWith(plain.get());
    const QImage got = windowDrawnWith(&lazy);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want);
}
