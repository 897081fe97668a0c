#include "app/RecoveryOffer.h"

#include "app/EmergencyJournal.h"
#include "app/RunSaver.h"
#include "base/LocalTime.h"
#include "data/Recovery.h"
#include "data/RunJournal.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

RecoveryOffer::RecoveryOffer(QString settingsDir, QString homeDir)
    : m_settingsDir(std::move(settingsDir)), m_homeDir(std::move(homeDir)), m_run(std::make_unique<RecoveredRun>())
{
}

RecoveryOffer::~RecoveryOffer() = default;

QString RecoveryOffer::questionText(const RecoveredRun& run)
{
    return QStringLiteral("A run of %1 samples started %2 was not saved.")
        .arg(run.count)
        .arg(LocalTime::format(run.facts.start, "%d/%m/%y %H:%M:%S"));
}

int RecoveryOffer::offerAll(QWidget* parent)
{
    QStringList journals = Recovery::journalsIn(m_settingsDir);
    journals << EmergencyJournal::in(m_settingsDir);
    if (!m_homeDir.isEmpty() && QFileInfo(m_homeDir).canonicalFilePath() != QFileInfo(m_settingsDir).canonicalFilePath())
        journals << EmergencyJournal::in(m_homeDir);
    int offered = 0;
    for (const QString& path : journals)
        offered += offer(parent, path) ? 1 : 0;
    return offered;
}

bool RecoveryOffer::offer(QWidget* parent, const QString& journalPath)
{
    // Taken (locked) while it is offered; one a running ZB740 still
    // records into, or still holds unsaved, is its own business.
    FoundJournal journal;
    Status loaded = journal.open(journalPath, FoundJournal::Access::Take);
    if (loaded.code() == Status::Code::Busy)
        return false;
    if (loaded.ok())
        loaded = journal.read(*m_run);
    // A run stopped before its first sample left nothing to save.
    if (journal.holdsNoSample()) {
        (void)journal.remove();
        return true;
    }
    if (!loaded.ok()) {
        warn(parent, QStringLiteral("The unsaved run in \"%1\" cannot be read: %2\nThe file is left as it is.")
                         .arg(QDir::toNativeSeparators(journalPath), loaded.message()));
        return true;
    }
    for (;;) {
        switch (ask(parent, *m_run)) {
        case Choice::Later:
            return true;
        case Choice::Discard:
            removeJournal(parent, journal);
            return true;
        case Choice::Save: {
            RunSaver saver(m_run->view(), m_settingsDir);
            saver.setProposedTime(m_run->facts.start);
            // A cancelled or failed save (the failure was shown) asks again.
            if (!saver.save(parent, m_run->facts.scale).ok())
                continue;
            // Records past damage are not in the files: the journal stays
            // with them.
            if (m_run->damagedRecordsDropped == 0)
                removeJournal(parent, journal);
            return true;
        }
        }
    }
}

RecoveryOffer::Choice RecoveryOffer::ask(QWidget* parent, const RecoveredRun& run)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("ZB740"), questionText(run), QMessageBox::NoButton, parent);
    if (run.damagedRecordsDropped > 0)
        box.setInformativeText(QStringLiteral("The journal is damaged after sample %1: %2 later records cannot be "
                                              "read and are kept in the journal.")
                                   .arg(run.count)
                                   .arg(run.damagedRecordsDropped));
    QPushButton* save = box.addButton(QStringLiteral("&Save\u2026"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton(QStringLiteral("&Later"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == save)
        return Choice::Save;
    if (box.clickedButton() == discard)
        return Choice::Discard;
    return Choice::Later;
}

void RecoveryOffer::removeJournal(QWidget* parent, FoundJournal& journal)
{
    const QString path = journal.path();
    if (const Status removed = journal.remove(); !removed.ok())
        warn(parent, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), removed.message()));
}

void RecoveryOffer::warn(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, QStringLiteral("ZB740"), text);
}
