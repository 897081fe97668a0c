#include "panels/CMeterPanel.h"

#include "widgets/Accessible.h"
#include "widgets/KeyFilter.h"
#include "panels/CBitmapKey.h"
#include "widgets/PanelStyle.h"
#include "widgets/Pictures.h"
#include "widgets/TextCopy.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace {
const QString kArial = QStringLiteral("Arial");

// Text placed with the top of its character cell at y, as the LCD layout
// gives its positions.
void drawTopLeft(QPainter& p, const QFont& font, qreal x, qreal y, const QString& text)
{
    p.setFont(font);
    p.drawText(QPointF(x, y + QFontMetricsF(font).ascent()), text);
}

bool isDegreeUnit(const QString& unit) { return unit == u"C" || unit == u"F"; }

QCursor pressedKeyCursor()
{
    // The finger's tip is the hot spot.
    return QCursor(renderPicture(QStringLiteral(":/res/cursor_pressed.svg"), QSize(32, 32)), 11, 1);
}
} // namespace

CMeterPanel::CMeterPanel(QWidget* parent)
    : QWidget(parent)
    , m_face(renderPicture(QStringLiteral(":/res/meter_face.svg"), kFaceSize))
    , m_faceBrush(m_face)
    , m_offlineFont(panelFont(kArial, 50, 12, 700))
    , m_upperValueFont(panelFont(kArial, 44, 7, 700))  // its 0.1 degree slant is not visible
    , m_lowerValueFont(panelFont(kArial, 75, 16, 700))
    , m_legendFont(panelFont(kArial, -10, 4, 100))
    , m_holdFont(panelFont(kArial, -10, 3, 100))
    , m_degreeFont(panelFont(QStringList {QStringLiteral("black Arial"), kArial}, -5, 0, 100))
    , m_brandFont(panelFont(QStringList {QStringLiteral("Arial Black"), kArial}, -24, 13, 900, true))
    , m_taglineFont(panelFont(kArial, -10, 0, 100, true))
{
    // The brand face is asked for with its black weight: a stand-in face of
    // the "Arial" family then still draws heavy.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setAccessibleName(QStringLiteral("Meter"));
    const QCursor cursor = pressedKeyCursor();
    for (const FaceKey& info : faceKeys()) {
        auto* k = new CBitmapKey(info, cursor, this);
        connect(k, &CBitmapKey::packet, this, &CMeterPanel::keyPacket);
        m_keys[size_t(info.key)] = k;
    }
    // Tab goes through the keys as they lie on the face: row by row, each
    // row from the left.
    std::array<CBitmapKey*, meter::kRemoteKeyCount> order = m_keys;
    auto row = [](const CBitmapKey* k) { return (k->info().position.y() + 5) / 10; };
    std::sort(order.begin(), order.end(), [&row](const CBitmapKey* a, const CBitmapKey* b) {
        return row(a) != row(b) ? row(a) < row(b) : a->info().position.x() < b->info().position.x();
    });
    for (size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    m_upper = new AccessibleReadout(QStringLiteral("Upper display"), QAccessible::StaticText,
                                    [this] { return upperDisplayText(); }, this);
    m_upper->setGeometry(kLcdRect.left(), kLcdRect.top(), kLcdRect.width(), 56);
    m_lower = new AccessibleReadout(QStringLiteral("Lower display"), QAccessible::StaticText,
                                    [this] { return lowerDisplayText(); }, this);
    m_lower->setGeometry(kLcdRect.left(), kLcdRect.top() + 56, kLcdRect.width(), kLcdRect.height() - 56);
    resize(kWidth, kFaceSize.height());
}

void CMeterPanel::setDisplayTexts(const DisplayTexts& texts)
{
    static constexpr QString DisplayTexts::*kTexts[] = {
        &DisplayTexts::value1, &DisplayTexts::value2, &DisplayTexts::value3, &DisplayTexts::unitMark,
        &DisplayTexts::maxMinA, &DisplayTexts::maxMinB, &DisplayTexts::holdA, &DisplayTexts::holdB,
        &DisplayTexts::recordA, &DisplayTexts::recordB, &DisplayTexts::link, &DisplayTexts::wbDp,
        &DisplayTexts::mode};
    bool changed = false;
    for (QString DisplayTexts::*text : kTexts)
        changed |= copyText(m_texts.*text, texts.*text);
    if (m_texts.backlight != texts.backlight) {
        m_texts.backlight = texts.backlight;
        changed = true;
    }
    // A link that came back must clear OFFLINE even when the meter shows the
    // same texts as before the loss.
    if (changed || m_bShownNoLink != m_bNoLink) {
        update(kLcdUpdateRect);
        m_upper->valueChanged();
        m_lower->valueChanged();
    }
}

void CMeterPanel::setLinkUp(bool up)
{
    const bool changed = m_bNoLink != !up;
    m_bNoLink = !up;
    if (m_bNoLink && !m_bShownNoLink)
        update();
    else if (m_bNoLink != m_bShownNoLink)
        update(kLcdUpdateRect);
    if (changed) {
        m_upper->valueChanged();
        m_lower->valueChanged();
    }
}

namespace {

// The pieces of a display as a screen reader reads them: trimmed, blanks
// left out, separated by commas.
void addPiece(QString& text, const QString& piece)
{
    const QString trimmed = piece.trimmed();
    if (trimmed.isEmpty())
        return;
    if (!text.isEmpty())
        text += QStringLiteral(", ");
    text += trimmed;
}

QString withUnit(const QString& value, const QString& unitMark)
{
    const QString v = value.trimmed();
    if (v.isEmpty())
        return v;
    return isDegreeUnit(unitMark) ? v + QStringLiteral(" \u00b0") + unitMark : v;
}

} // namespace

QString CMeterPanel::upperDisplayText() const
{
    if (m_bNoLink)
        return QStringLiteral("OFFLINE");
    const DisplayTexts& t = m_texts;
    QString text;
    addPiece(text, withUnit(t.value1, t.unitMark));
    addPiece(text, t.wbDp);
    if (!t.value2.trimmed().isEmpty())
        addPiece(text, t.value2 + (isDegreeUnit(t.unitMark) ? QStringLiteral(" %RH") : QString()));
    addPiece(text, t.maxMinA);
    addPiece(text, t.holdA);
    addPiece(text, t.recordA);
    addPiece(text, t.link);
    return text;
}

QString CMeterPanel::lowerDisplayText() const
{
    if (m_bNoLink)
        return QStringLiteral("OFFLINE");
    const DisplayTexts& t = m_texts;
    QString text;
    addPiece(text, t.value3 != u"----" ? withUnit(t.value3, t.unitMark) : t.value3);
    addPiece(text, t.mode);
    addPiece(text, t.maxMinB);
    addPiece(text, t.holdB);
    addPiece(text, t.recordB);
    return text;
}

void CMeterPanel::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape neither close nor trigger anything on a panel.
    if (!consumeEnterOrEscape(event))
        QWidget::keyPressEvent(event);
}

void CMeterPanel::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    // The face lies on the frame's grey and tiles from the panel's corner,
    // as a pattern brush would. Under the LCD window it is covered by the
    // window's colour: a repaint of the LCD (each reading's) fills a few
    // rows of face around it, not a tall area, which Qt would split over
    // its worker threads and wake them for every reading.
    const QColor ground = frameGrey(palette());
    for (const QRect& part : event->region() - QRegion(kLcdRect)) {
        p.fillRect(part, ground);
        p.fillRect(part, m_faceBrush);
    }

    p.fillRect(kLcdRect, m_texts.backlight ? kBacklightColour : kLcdColour);
    if (height() > kStripTop)
        p.fillRect(QRect(0, kStripTop, width(), height() - kStripTop), ground);

    m_bShownNoLink = m_bNoLink;
    if (m_bNoLink) {
        p.setPen(m_offlinePen);
        drawTopLeft(p, m_offlineFont, 57, 229, QStringLiteral("OFFLINE"));
    } else {
        p.setPen(m_inkPen);
        const DisplayTexts& t = m_texts;
        drawTopLeft(p, m_upperValueFont, 96 - 7 * t.value1.size(), 206, t.value1);
        drawTopLeft(p, m_upperValueFont, 120, 206, t.value2);

        drawTopLeft(p, m_legendFont, 102, 217, t.unitMark);
        drawTopLeft(p, m_legendFont, 102, 234, t.wbDp);
        if (isDegreeUnit(t.unitMark)) {
            drawTopLeft(p, m_legendFont, 145, 209, QStringLiteral("%RH"));
            drawTopLeft(p, m_degreeFont, 98, 217, QStringLiteral("O"));
        }
        drawTopLeft(p, m_legendFont, 60, 254, t.mode);
        drawTopLeft(p, m_legendFont, 126, 194, t.link);
        drawTopLeft(p, m_legendFont, 53, 194, t.recordA);
        drawTopLeft(p, m_legendFont, 75, 194, t.maxMinA);
        drawTopLeft(p, m_legendFont, 53, 329, t.recordB);
        drawTopLeft(p, m_legendFont, 75, 329, t.maxMinB);
        drawTopLeft(p, m_holdFont, 105, 194, t.holdA);
        drawTopLeft(p, m_holdFont, 105, 329, t.holdB);

        drawTopLeft(p, m_lowerValueFont, 147 - 16 * t.value3.size(), 259, t.value3);
        m_strLowerUnit = t.value3 != u"----" ? t.unitMark : QStringLiteral("  ");
        drawTopLeft(p, m_legendFont, 155, 279, m_strLowerUnit);
        if (isDegreeUnit(m_strLowerUnit))
            drawTopLeft(p, m_degreeFont, 151, 279, QStringLiteral("O"));
    }

    // The brand block shows in every state.
    p.fillRect(QRect(0, 0, 120, 38), Qt::white);
    p.setPen(m_inkPen);
    drawTopLeft(p, m_brandFont, 3, 0, QStringLiteral("ORVANE"));
    drawTopLeft(p, m_taglineFont, 47, 26, QStringLiteral("INSTRUMENTS"));
    p.setRenderHint(QPainter::Antialiasing, false);
    // A line ends just before its end point, as the face's other lines do.
    p.drawLine(3, 28, 46, 28);
    p.drawLine(3, 33, 46, 33);
}
