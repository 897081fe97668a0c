// The program's pictures render at their sizes and are real drawings: not
// blank, not a single flat colour. With ZB740_PICTURE_DIR set, the renders
// are also written there as PNG files for a look.
#include "widgets/Pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>
#include <QImage>
#include <QSet>
#include <QSvgRenderer>
#include <gtest/gtest.h>

namespace {
struct PictureCase {
    const char* name;
    QSize size;
};

const PictureCase kPictures[] = {
    {"meter_face", {220, 648}},  {"key_holdup", {29, 26}},   {"key_poweroff", {24, 23}},
    {"key_maxminup", {29, 26}},  {"key_irt", {25, 25}},      {"key_maxmind", {41, 23}},
    {"key_holdd", {38, 22}},     {"key_avg", {30, 30}},      {"key_units", {43, 24}},
    {"key_area", {38, 23}},      {"cursor_pressed", {32, 32}}, {"tb_save", {27, 20}},
    {"tb_open", {27, 20}},       {"tb_run", {27, 20}},       {"tb_stop", {27, 20}},
    {"tb_print", {27, 20}},      {"tb_undozoom", {27, 20}},  {"tb_help", {27, 20}},
    {"app_icon", {64, 64}},
};
} // namespace

TEST(Pictures, EveryPictureIsADrawingAtItsSize)
{
    const QString outDir = qEnvironmentVariable("ZB740_PICTURE_DIR");
    for (const PictureCase& c : kPictures) {
        SCOPED_TRACE(c.name);
        const QString path = QStringLiteral(":/res/%1.svg").arg(QLatin1String(c.name));
        QSvgRenderer renderer(path);
        ASSERT_TRUE(renderer.isValid());
        EXPECT_EQ(renderer.defaultSize(), c.size);

        const QImage img = renderPictureImage(path, c.size);
        QSet<QRgb> colours;
        int opaque = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb px = img.pixel(x, y);
                if (qAlpha(px) > 200) {
                    ++opaque;
                    colours.insert(px);
                }
            }
        EXPECT_GT(opaque, img.width() * img.height() / 5);
        EXPECT_GT(colours.size(), 8);
        if (!outDir.isEmpty())
            img.scaled(img.size() * (c.size.width() >= 200 ? 2 : 4)).save(QDir(outDir).filePath(QLatin1String(c.name) + ".png"));
    }
}

// The drawings made when the program was built are the pictures as the SVG
// renderer draws them now, pixel for pixel, and every picture has one; at
// another size the SVG is rendered at that size.
TEST(Pictures, BuiltDrawingsAreTheSvgRenders)
{
    QDir pictures(QStringLiteral(":/res"));
    const QStringList svgs = pictures.entryList({QStringLiteral("*.svg")}, QDir::Files);
    ASSERT_GT(svgs.size(), int(std::size(kPictures)));
    for (const QString& svg : svgs) {
        SCOPED_TRACE(svg.toStdString());
        const QString path = QStringLiteral(":/res/") + svg;
        EXPECT_TRUE(QFileInfo::exists(QStringLiteral(":/res/drawn/") + QFileInfo(svg).completeBaseName()));
        const QSize size = QSvgRenderer(path).defaultSize();
        for (const QSize asked : {size, size * 2, QSize(size.width() + 1, size.height())}) {
            const QImage shown = renderPictureImage(path, asked);
            const QImage rendered = renderSvgPicture(path, asked);
            ASSERT_EQ(shown.size(), asked);
            EXPECT_EQ(shown.format(), rendered.format());
            EXPECT_TRUE(shown == rendered) << asked.width() << "x" << asked.height();
        }
        // A toolbar or window icon at the picture's size is the same drawing.
        const QImage icon = renderPictureIcon(path, {size}, 1.0).pixmap(size, 1.0).toImage();
        EXPECT_TRUE(icon.convertToFormat(QImage::Format_ARGB32_Premultiplied) == renderSvgPicture(path, size));
    }
}

TEST(Pictures, MeterFaceHasItsLcdWindowWhereTheLcdIsDrawn)
{
    const QImage face = renderPictureImage(QStringLiteral(":/res/meter_face.svg"), QSize(220, 648));
    const QColor lcd(168, 191, 163);
    for (const QPoint p : {QPoint(53, 196), QPoint(168, 196), QPoint(53, 346), QPoint(168, 346), QPoint(110, 270)})
        EXPECT_EQ(QColor(face.pixel(p)), lcd) << p.x() << "," << p.y();
    // a dark bezel around it
    for (const QPoint p : {QPoint(47, 270), QPoint(174, 270), QPoint(110, 352)})
        EXPECT_LT(qGray(face.pixel(p)), 60) << p.x() << "," << p.y();
}

// Icons drawn once as pixmaps (the toolbar's, the window's) look as Qt's own
// SVG icons of the same pictures, in every mode a button shows them in: the
// disabled and selected looks Qt derives from the pixmaps are the ones it
// derives from its SVG rendering, at the screen's and at double density.
TEST(Pictures, DrawnIconsLookAsQtsSvgIcons)
{
    struct IconCase {
        const char* name;
        QSize size;
    };
    const IconCase icons[] = {
        {"tb_save", {27, 20}},  {"tb_open", {27, 20}},  {"tb_run", {27, 20}},     {"tb_stop", {27, 20}},
        {"tb_print", {27, 20}}, {"tb_help", {27, 20}},  {"tb_undozoom", {27, 20}}, {"app_icon", {16, 16}},
        {"app_icon", {32, 32}}, {"app_icon", {48, 48}},
    };
    for (const IconCase& c : icons) {
        const QString path = QStringLiteral(":/res/%1.svg").arg(QLatin1String(c.name));
        const QIcon qts(path);
        for (const qreal dpr : {1.0, 2.0}) {
            const QIcon drawn = renderPictureIcon(path, {c.size}, dpr);
            for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected}) {
                SCOPED_TRACE(testing::Message() << c.name << " " << c.size.width() << " dpr " << dpr << " mode "
                                                << int(mode));
                const QPixmap want = qts.pixmap(c.size, dpr, mode);
                const QPixmap got = drawn.pixmap(c.size, dpr, mode);
                ASSERT_FALSE(want.isNull());
                EXPECT_EQ(got.devicePixelRatio(), want.devicePixelRatio());
                const QImage a = want.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
                const QImage b = got.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
                ASSERT_EQ(b.size(), a.size());
                int differing = 0;
                for (int y = 0; y < a.height(); ++y)
                    for (int x = 0; x < a.width(); ++x)
                        differing += a.pixel(x, y) != b.pixel(x, y);
                EXPECT_EQ(differing, 0);
            }
        }
    }
}
