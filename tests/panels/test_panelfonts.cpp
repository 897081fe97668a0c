// The panels' fonts with a set character width take the face's natural
// width from the face at one size for the whole family: the fonts are the
// ones the metrics of each face at its own size give, for every font the
// panels ask for and over a sweep of sizes, weights and slants.
#include "widgets/PanelStyle.h"

#include <QFontMetricsF>
#include <QStringList>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// The font with its width set from the metrics of the unstretched face at
// the font's own size.
QFont measuredFont(const QStringList& families, int height, int averageWidth, int weight, bool italic)
{
    QFont font = panelFont(families, height, 0, weight, italic);
    const double natural = QFontMetricsF(font).averageCharWidth();
    if (averageWidth > 0 && natural > 0)
        font.setStretch(qBound(1, int(std::lround(100.0 * averageWidth / natural)), 4000));
    return font;
}

struct FontCase {
    QStringList families;
    int height;
    int averageWidth;
    int weight;
    bool italic;
};

void expectSame(const FontCase& c)
{
    SCOPED_TRACE(testing::Message() << c.families.join(QLatin1Char(',')).toStdString() << " height " << c.height
                                    << " width " << c.averageWidth << " weight " << c.weight << " italic "
                                    << c.italic);
    const QFont want = measuredFont(c.families, c.height, c.averageWidth, c.weight, c.italic);
    const QFont got = panelFont(c.families, c.height, c.averageWidth, c.weight, c.italic);
    EXPECT_EQ(got.stretch(), want.stretch());
    EXPECT_EQ(got.pixelSize(), want.pixelSize());
    EXPECT_TRUE(got == want);
}

} // namespace

TEST(PanelFonts, TheProgramsFontsWithASetWidthAreTheMeasuredOnes)
{
    const QString arial = QStringLiteral("Arial");
    const FontCase cases[] = {
        {{arial}, 50, 12, 700, false},
        {{arial}, 44, 7, 700, false},
        {{arial}, 75, 16, 700, false},
        {{arial}, -10, 4, 100, false},
        {{arial}, -10, 3, 100, false},
        {{QStringLiteral("Arial Black"), arial}, -24, 13, 900, true},
        {{QStringLiteral("Black Roman"), arial}, -14, 8, 100, false},
    };
    for (const FontCase& c : cases)
        expectSame(c);
}

TEST(PanelFonts, ASweepOfSizesWeightsAndSlantsGivesTheMeasuredWidths)
{
    for (const QString& family : {QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")})
        for (const int weight : {100, 400, 700, 900})
            for (const bool italic : {false, true})
                for (int size = 4; size <= 80; size += 3) {
                    expectSame({{family}, -size, size / 2 + 1, weight, italic});
                    expectSame({{family}, size, size / 3 + 1, weight, italic});
                }
}
