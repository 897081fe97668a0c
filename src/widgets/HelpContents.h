#pragma once
// Help ▸ Contents. A compiled help "help.chm" beside the program wins when
// one is there and the desktop's default handler takes it; otherwise the
// HTML help page that ships with the program, found in the documentation
// folder of the tree the program runs from (the installed tree or the build
// tree), in the program's own help window. Only a page missing from the
// installation gives a message box, which says where it belongs.
#include <QString>
#include <functional>

class QUrl;
class QWidget;

namespace help {

// Looked for beside the program.
inline constexpr const char* kCompiledHelpName = "help.chm";
// Looked for in the documentation folder.
inline constexpr const char* kHelpPageName = "help.html";

// The documentation folder that belongs to a program in programDir.
QString docDir(const QString& programDir);

// The help page of a program in programDir when it is there, else empty.
QString findHelpPage(const QString& programDir);

// Hands a file to the desktop's default handler; false when none took it.
using Opener = std::function<bool(const QUrl&)>;
bool openWithDesktop(const QUrl& url);

// The message shown when the help page is not installed.
QString pageMissingText(const QString& pagePath);

// Help ▸ Contents for a program in programDir, the desktop's handler being
// `open`: help.chm beside the program when the handler takes it, else the
// help page in the help window of parent's window; without the page, a
// message box over parent says where it belongs.
void showContents(QWidget* parent, const QString& programDir, const Opener& open = openWithDesktop);

} // namespace help
