#include "widgets/Mnemonics.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QWidget>

namespace mnemonics {

namespace {

// The letter after a single '&' ("&&" is a literal ampersand), or a null
// character.
QChar markedLetter(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return {};
}

class MessageBoxWatch : public QObject {
public:
    explicit MessageBoxWatch(QObject* parent) : QObject(parent) { setObjectName(QStringLiteral("mnemonicWatch")); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched))
                give(box);
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

QString marked(const QString& text, QString& letters)
{
    if (text.isEmpty() || !markedLetter(text).isNull())
        return text;
    auto free = [&letters](QChar c) { return c.isLetterOrNumber() && !letters.contains(c.toLower()); };
    qsizetype at = -1;
    // A word's first letter reads best; any letter after that.
    for (qsizetype i = 0; i < text.size() && at < 0; ++i) {
        const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
        if (wordStart && free(text[i]))
            at = i;
    }
    for (qsizetype i = 0; i < text.size() && at < 0; ++i) {
        if (free(text[i]))
            at = i;
    }
    if (at < 0)
        return text;
    letters += text[at].toLower();
    QString result = text;
    // A literal ampersand is written doubled once the text has a mark.
    result.replace(QStringLiteral("&"), QStringLiteral("&&"));
    const qsizetype shift = text.left(at).count(u'&');
    result.insert(at + shift, u'&');
    return result;
}

void give(QWidget* window)
{
    const QList<QAbstractButton*> buttons = window->findChildren<QAbstractButton*>();
    QString letters;
    for (const QAbstractButton* b : buttons) {
        if (const QChar c = markedLetter(b->text()); !c.isNull())
            letters += c;
    }
    for (QAbstractButton* b : buttons) {
        const QString text = marked(b->text(), letters);
        if (text != b->text())
            b->setText(text);
    }
}

void giveToMessageBoxes(QCoreApplication* app)
{
    if (!app || app->findChild<QObject*>(QStringLiteral("mnemonicWatch"), Qt::FindDirectChildrenOnly))
        return;
    app->installEventFilter(new MessageBoxWatch(app));
}

} // namespace mnemonics
