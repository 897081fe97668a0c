#include "panels/CEventList.h"

#include "base/LocalTime.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

CEventList::CEventList(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("eventList"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void CEventList::showEvent(QShowEvent* event)
{
    ensureRows();
    QWidget::showEvent(event);
}

void CEventList::ensureRows()
{
    // Made when the list is first shown or gets its first event: the
    // window's start does not wait for a list that shows neither.
    if (m_tree)
        return;
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("eventRows"));
    m_tree->setColumnCount(2);
    m_tree->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("What")});
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setAccessibleName(QStringLiteral("Events"));
    m_tree->header()->setStretchLastSection(true);
    m_tree->setColumnWidth(0, 140);
    layout()->addWidget(m_tree);
    for (const MonitorEvent& event : m_events)
        addRow(event);
}

void CEventList::addRow(const MonitorEvent& event)
{
    auto* row = new QTreeWidgetItem(m_tree);
    row->setText(0, LocalTime::format(event.time, "%d/%m/%y %H:%M:%S"));
    row->setText(1, MonitorEvents::describe(event));
    m_tree->scrollToItem(row);
}

void CEventList::add(const MonitorEvent& event)
{
    m_events.append(event);
    if (m_tree)
        addRow(event);
    else
        ensureRows();
}

void CEventList::clear()
{
    m_events.clear();
    if (m_tree)
        m_tree->clear();
}

int CEventList::rowCount() const
{
    return m_tree ? m_tree->topLevelItemCount() : 0;
}

QString CEventList::timeText(int row) const
{
    const QTreeWidgetItem* item = m_tree ? m_tree->topLevelItem(row) : nullptr;
    return item ? item->text(0) : QString();
}

QString CEventList::whatText(int row) const
{
    const QTreeWidgetItem* item = m_tree ? m_tree->topLevelItem(row) : nullptr;
    return item ? item->text(1) : QString();
}
