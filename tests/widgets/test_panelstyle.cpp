// The panels' fonts: a list of families stands for the first one installed.
#include "widgets/PanelStyle.h"

#include <QFontDatabase>
#include <QFontInfo>
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
