#pragma once
// At start, the runs left unsaved in the recovery folder (the program, the
// session or the machine stopped while they recorded) are offered one after
// the other, before anything else happens:
//
//   "A run of N samples started DD/MM/YY HH:MM:SS was not saved."
//   Save…    the usual save dialog and files; the journal goes once both
//            files are on the disk
//   Discard  the journal goes
//   Later    the journal stays for the next start
//
// A journal that cannot be read is reported with its path and left alone.
// A journal a running ZB740 holds (another window's run, still recording
// or not saved yet) is not offered at all, nor touched.
#include "base/Status.h"

#include <QString>
#include <memory>

class FoundJournal;
class QWidget;
struct RecoveredRun;

class RecoveryOffer {
public:
    // Besides the recovery folder, the emergency journals a logout left in
    // the settings folder and in homeDir (when given) are offered.
    explicit RecoveryOffer(QString settingsDir, QString homeDir = {});
    ~RecoveryOffer();
    RecoveryOffer(const RecoveryOffer&) = delete;
    RecoveryOffer& operator=(const RecoveryOffer&) = delete;

    // Offers every journal of the recovery folder, oldest first, then the
    // emergency journals (app/EmergencyJournal.h). Returns how many were
    // offered (unreadable ones and those without a sample, removed unasked,
    // included; those in use not).
    int offerAll(QWidget* parent);

    // The question about one recovered run.
    static QString questionText(const RecoveredRun& run);

private:
    enum class Choice { Save, Discard, Later };
    bool offer(QWidget* parent, const QString& journalPath);
    Choice ask(QWidget* parent, const RecoveredRun& run);
    static void removeJournal(QWidget* parent, FoundJournal& journal);
    static void warn(QWidget* parent, const QString& text);

    QString m_settingsDir;
    QString m_homeDir;
    // One fixed record (about 200 KB), reused for every journal.
    std::unique_ptr<RecoveredRun> m_run;
};
