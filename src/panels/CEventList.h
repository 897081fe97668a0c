#pragma once
// The "Events" list of the main window: what happened to the current run
// (alarm changes, the link lost and back, how the run ended), one row per
// event with its time and what happened, newest last. It keeps the events
// as values, so the run's save can write them beside the data file.
#include "data/MonitorEvent.h"

#include <QList>
#include <QWidget>

class QTreeWidget;

class CEventList : public QWidget {
    Q_OBJECT
public:
    explicit CEventList(QWidget* parent = nullptr);

    void add(const MonitorEvent& event);
    // A new run: the list starts empty.
    void clear();
    const QList<MonitorEvent>& events() const { return m_events; }
    // The rows as shown: time and text (for tests and accessibility).
    int rowCount() const;
    QString timeText(int row) const;
    QString whatText(int row) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The rows, made with the first event or the first show.
    void ensureRows();
    void addRow(const MonitorEvent& event);

    QTreeWidget* m_tree = nullptr;
    QList<MonitorEvent> m_events;
};
