#pragma once
// The Y scale dialog: picks the offset and gain of a graph's vertical axis,
// preselecting what the settings file holds.
#include "settings/ProgramPaths.h"

#include <QDialog>

class QComboBox;

class CYScaleDlg : public QDialog {
    Q_OBJECT
public:
    explicit CYScaleDlg(const ProgramPaths& options, QWidget* parent = nullptr);

    // List positions chosen on OK (indexes of the gain and offset tables),
    // -1 when a list has no selection.
    int gainIndex() const { return m_nGainIndex; }
    int offsetIndex() const { return m_nOffsetIndex; }

    QComboBox* gainList() const { return m_gains; }
    QComboBox* offsetList() const { return m_offsets; }

    void accept() override;

private:
    QComboBox* m_offsets;
    QComboBox* m_gains;
    int m_nGainIndex = -1;
    int m_nOffsetIndex = -1;
};
