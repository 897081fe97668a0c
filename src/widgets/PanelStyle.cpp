#include "widgets/PanelStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QPalette>
#include <QRawFont>
#include <QStringList>
#include <QWidget>
#include <cmath>

namespace {

// A list of families means the first one installed. Qt would give a missing
// first family the default family's face (a thin DejaVu Sans for a missing
// "Black Roman" of weight 100), not the next one in the list, so the missing
// families before the first installed one are dropped; with none installed
// the last one stays: the system's font substitution finds a stand-in for it
// ("Arial": Liberation Sans). The families after the chosen one follow it as
// they are: Qt asks them only for characters the chosen face lacks and passes
// over one that is missing.
//
// Each question costs a run of the font configuration's substitution rules
// (a tenth of a millisecond or more), so only the families before the last
// are asked about, in order, until one is installed: a single family is
// taken as it is, without a question. Each family is asked about once (the
// names ignore case, as the font database does): Qt reads the installed
// fonts once per process, so its answer does not change.
bool isInstalledFamily(const QString& family)
{
    static QHash<QString, bool> answers;
    const QString key = family.toCaseFolded();
    auto found = answers.constFind(key);
    if (found == answers.constEnd())
        found = answers.insert(key, QFontDatabase::hasFamily(family));
    return found.value();
}

QStringList installedFamilies(const QStringList& families)
{
    for (qsizetype i = 0; i + 1 < families.size(); ++i) {
        if (isInstalledFamily(families[i]))
            return families.mid(i);
    }
    return families.isEmpty() ? families : QStringList {families.last()};
}

// The face's average character width at a pixel size, as the font's
// metrics give it at that size, read without making the face at that size:
// from the face's OS/2 table at the probe's size, which the fonts of one
// family, weight and slant share. The metrics take it as the table's
// average width times the size over the em, in 26.6 fixed point rounded to
// the nearest; 0 where the face has no such table.
double averageWidthAt(const QFont& probe, int pixelSize)
{
    const QRawFont raw = QRawFont::fromFont(probe);
    if (!raw.isValid())
        return 0;
    const QByteArray os2 = raw.fontTable("OS/2");
    if (os2.size() < 4)
        return 0;
    const qint64 average = qint16((quint8(os2[2]) << 8) | quint8(os2[3]));
    const qint64 em = qint64(std::lround(raw.unitsPerEm()));
    if (average <= 0 || em <= 0)
        return 0;
    const qint64 numerator = average * pixelSize * 64 * 64;
    const qint64 denominator = em * 64;
    return double((numerator + denominator / 2) / denominator) / 64.0;
}

} // namespace

QFont panelFont(const QStringList& families, int height, int averageWidth, int weight, bool italic)
{
    QFont font;
    font.setFamilies(installedFamilies(families));
    font.setWeight(QFont::Weight(weight));
    font.setItalic(italic);
    font.setStyleStrategy(QFont::PreferAntialias);
    // The face at one size for its proportions: one face for every font of
    // a family, weight and slant, whatever their sizes.
    QFont probe = font;
    probe.setPixelSize(100);
    if (height < 0) {
        font.setPixelSize(-height);
    } else if (height > 0) {
        // A cell height includes the face's leading: scale the em to fit.
        const QFontMetricsF fm(probe);
        const double cellPer100 = fm.ascent() + fm.descent();
        font.setPixelSize(qMax(1, int(std::lround(height * 100.0 / cellPer100))));
    }
    if (averageWidth > 0) {
        double natural = font.pixelSize() > 0 ? averageWidthAt(probe, font.pixelSize()) : 0.0;
        if (natural <= 0)
            natural = QFontMetricsF(font).averageCharWidth();
        if (natural > 0) {
            const int stretch = int(std::lround(100.0 * averageWidth / natural));
            font.setStretch(qBound(1, stretch, 4000));
        }
    }
    return font;
}

QFont panelFont(const QString& family, int height, int averageWidth, int weight, bool italic)
{
    return panelFont(QStringList {family}, height, averageWidth, weight, italic);
}

namespace {

// Window and window text for every role a panel's controls paint with.
void setPanelPalette(QWidget* panel)
{
    QPalette pal = QApplication::palette(panel);
    const QColor ground = pal.color(QPalette::Window);
    const QColor text = pal.color(QPalette::WindowText);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
            pal.setColor(group, role, ground);
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            pal.setColor(group, role, text);
    }
    panel->setPalette(pal);
}

// Sets the panel's colours again when the desktop's palette changes.
class PaletteFollower : public QObject {
public:
    explicit PaletteFollower(QWidget* panel) : QObject(panel), m_panel(panel)
    {
        setObjectName(QStringLiteral("paletteFollower"));
        panel->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_panel && event->type() == QEvent::ApplicationPaletteChange)
            setPanelPalette(m_panel);
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_panel;
};

} // namespace

void applyPanelColours(QWidget* panel)
{
    setPanelPalette(panel);
    panel->setAutoFillBackground(true);
    if (!panel->findChild<QObject*>(QStringLiteral("paletteFollower"), Qt::FindDirectChildrenOnly))
        new PaletteFollower(panel);
}

bool isDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

QColor frameGrey(const QPalette& palette)
{
    return isDarkPalette(palette) ? palette.color(QPalette::Window) : kLightFrameGrey;
}

QColor chromeInk(const QPalette& palette)
{
    return isDarkPalette(palette) ? palette.color(QPalette::WindowText) : QColor(Qt::black);
}

QColor chromeCell(const QPalette& palette)
{
    return isDarkPalette(palette) ? palette.color(QPalette::Window) : QColor(Qt::white);
}

QColor chromeTimeCell(const QPalette& palette)
{
    return isDarkPalette(palette) ? palette.color(QPalette::Window) : palette.color(QPalette::Button);
}
