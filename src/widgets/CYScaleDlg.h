#pragma once
// The Y scale dialog: picks the offset and gain of a graph's vertical axis.
// It preselects the list positions it is given and reports the positions
// chosen; the window that runs it applies and stores them.
#include "base/YScale.h"

#include <QDialog>

class QComboBox;

class CYScaleDlg : public QDialog {
    Q_OBJECT
public:
    // Positions outside a list select nothing in it.
    CYScaleDlg(int gainIndex, int offsetIndex, QWidget* parent = nullptr);

    // List positions chosen on OK (indexes of the gain and offset tables),
    // -1 when a list has no selection.
    int gainIndex() const { return m_nGainIndex; }
    int offsetIndex() const { return m_nOffsetIndex; }
    // The chosen scale; a list with no selection keeps that part of `current`.
    YScaleValues chosenScale(YScaleValues current) const
    {
        return {gainForIndex(m_nGainIndex, current.gain), offsetForIndex(m_nOffsetIndex, current.offset)};
    }

    QComboBox* gainList() const { return m_gains; }
    QComboBox* offsetList() const { return m_offsets; }

    void accept() override;

private:
    QComboBox* m_offsets;
    QComboBox* m_gains;
    int m_nGainIndex = -1;
    int m_nOffsetIndex = -1;
};
