#pragma once
// The virtual meter face: the picture of the meter with a live copy of its
// LCD and the nine remote keys. Its owner hands it the LCD texts the
// recorder folded from each reading; it never reads the serial port itself.
// Key presses leave as packets through keyPacket().
#include "link/MeterTypes.h"
#include "panels/FaceKeys.h"

#include <QBrush>
#include <QFont>
#include <QPen>
#include <QPixmap>
#include <QWidget>
#include <array>

class AccessibleReadout;
class CBitmapKey;

class CMeterPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 228;
    static constexpr QSize kFaceSize {220, 648};
    // What a change of the texts repaints: x 53..168, y 194..347.
    static constexpr QRect kLcdUpdateRect {53, 194, 116, 154};
    // The LCD window filled with the LCD colour.
    static constexpr QRect kLcdRect {53, 196, 116, 151};
    static constexpr int kStripTop = 640;

    static inline const QColor kLcdColour {168, 191, 163};
    static inline const QColor kBacklightColour {175, 238, 238};
    // The ground around the face and the strip below it: the frame's grey
    // (widgets/PanelStyle.h frameGrey()), RGB(217, 218, 212) on a light
    // palette, the window colour on a dark one.
    static inline const QColor kStripColour {217, 218, 212};

    // Shows OFFLINE until the link is reported up.
    explicit CMeterPanel(QWidget* parent = nullptr);

    const DisplayTexts& displayTexts() const { return m_texts; }
    // New texts from a decoded frame: repaints the LCD only when something
    // on it changed (or the link came back since the face showed OFFLINE).
    void setDisplayTexts(const DisplayTexts& texts);
    // The link came up or went down: the whole face repaints when it went
    // down.
    void setLinkUp(bool up);
    bool linkUp() const { return !m_bNoLink; }

    CBitmapKey* key(meter::RemoteKey k) const { return m_keys[size_t(k)]; }

    // What a screen reader reads of the LCD: the upper display (temperature
    // and humidity with their marks) and the lower one (the K/IR input).
    AccessibleReadout* upperDisplay() const { return m_upper; }
    AccessibleReadout* lowerDisplay() const { return m_lower; }
    QString upperDisplayText() const;
    QString lowerDisplayText() const;

signals:
    void keyPacket(const QByteArray& bytes);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_bNoLink = true;       // the link is down: the LCD shows OFFLINE
    DisplayTexts m_texts;
    QString m_strLowerUnit;
    bool m_bShownNoLink = true;  // the link state the LCD last showed

    QPixmap m_face;
    QBrush m_faceBrush;
    QPen m_offlinePen {QColor(255, 0, 0)};
    QPen m_inkPen {Qt::black, 1};
    // Made once: painting only uses them.
    QFont m_offlineFont, m_upperValueFont, m_lowerValueFont, m_legendFont, m_holdFont, m_degreeFont,
        m_brandFont, m_taglineFont;
    std::array<CBitmapKey*, meter::kRemoteKeyCount> m_keys {};
    AccessibleReadout* m_upper = nullptr;
    AccessibleReadout* m_lower = nullptr;
};
