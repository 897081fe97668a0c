#include "panels/CEventList.h"

#include "base/LocalTime.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

CEventList::CEventList(QWidget* parent)
    : QWidget(parent)
    , m_tree(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("eventList"));
    m_tree->setObjectName(QStringLiteral("eventRows"));
    m_tree->setColumnCount(2);
    m_tree->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("What")});
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setAccessibleName(QStringLiteral("Events"));
    m_tree->header()->setStretchLastSection(true);
    m_tree->setColumnWidth(0, 140);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree);
}

void CEventList::add(const MonitorEvent& event)
{
    m_events.append(event);
    auto* row = new QTreeWidgetItem(m_tree);
    row->setText(0, LocalTime::format(event.time, "%d/%m/%y %H:%M:%S"));
    row->setText(1, MonitorEvents::describe(event));
    m_tree->scrollToItem(row);
}

void CEventList::clear()
{
    m_events.clear();
    m_tree->clear();
}

int CEventList::rowCount() const
{
    return m_tree->topLevelItemCount();
}

QString CEventList::timeText(int row) const
{
    const QTreeWidgetItem* item = m_tree->topLevelItem(row);
    return item ? item->text(0) : QString();
}

QString CEventList::whatText(int row) const
{
    const QTreeWidgetItem* item = m_tree->topLevelItem(row);
    return item ? item->text(1) : QString();
}
