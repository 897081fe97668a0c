// The panels' fonts: a list of families stands for the first one installed.
#include "widgets/PanelStyle.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

TEST(PanelFont, AMissingFirstFamilyFallsToTheNextNotToTheDefaultFace)
{
    const QString missing = QStringLiteral("No Such Face 740");
    ASSERT_FALSE(QFontDatabase::hasFamily(missing));
    struct Case {
        int weight;
        bool italic;
    };
    // A thin weight is where the default family's face differs most (an
    // extra-light face where one is installed).
    for (const Case c : {Case {100, false}, Case {500, false}, Case {900, true}}) {
        SCOPED_TRACE(c.weight);
        const QFontInfo alone(panelFont(QStringLiteral("Arial"), -14, 0, c.weight, c.italic));
        const QFontInfo listed(panelFont(QStringList {missing, QStringLiteral("Arial")}, -14, 0, c.weight, c.italic));
        EXPECT_EQ(listed.family().toStdString(), alone.family().toStdString());
        EXPECT_EQ(listed.styleName().toStdString(), alone.styleName().toStdString());
        EXPECT_EQ(listed.italic(), alone.italic());
    }
}

TEST(PanelFont, AnInstalledFirstFamilyIsKept)
{
    const QStringList installed = QFontDatabase::families();
    ASSERT_FALSE(installed.isEmpty());
    const QFontInfo info(panelFont(QStringList {installed.first(), QStringLiteral("Arial")}, -14, 0, 400));
    EXPECT_EQ(info.family().toStdString(), installed.first().toStdString());
}

// The families after the chosen one only stand by for characters it lacks:
// a missing one among them draws nothing different, even where the chosen
// face has no glyph of its own.
TEST(PanelFont, AMissingFamilyAfterTheChosenOneDrawsTheSame)
{
    const QString missing = QStringLiteral("No Such Face 740");
    const QStringList installed = QFontDatabase::families();
    ASSERT_FALSE(installed.isEmpty());
    const QString chosen = installed.first();
    auto draw = [](const QFont& font) {
        QImage image(400, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setFont(font);
        p.setPen(Qt::black);
        // Latin, a degree sign, Greek, a CJK ideograph and a dingbat: the
        // last ones come from fallback faces, if from any.
        p.drawText(QPoint(4, 28), QString::fromUtf8("Ag 25.3\u00b0C \u03a9 \u6c34 \u2713"));
        return image;
    };
    const QFont listed = panelFont(QStringList {chosen, missing}, -16, 0, 400);
    QFont alone = listed;
    alone.setFamilies({chosen});
    EXPECT_EQ(QFontInfo(listed).family().toStdString(), chosen.toStdString());
    EXPECT_TRUE(draw(listed) == draw(alone));
}
