#pragma once
// Help ▸ Contents. A compiled help "help.chm" beside the program wins when
// one is there; otherwise the HTML help page that ships with the program,
// found in the documentation folder of the tree the program runs from (the
// installed tree or the build tree). The desktop's default handler shows it;
// where nothing can, a message box says where the page is.
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

// The messages shown when the help cannot be shown.
QString noViewerText(const QString& pagePath);
QString pageMissingText(const QString& pagePath);

// Help ▸ Contents for a program in programDir, the desktop's handler being
// `open`: help.chm beside the program, else the help page; when neither can
// be shown, a message box over parent says where the page is (or belongs).
void showContents(QWidget* parent, const QString& programDir, const Opener& open = openWithDesktop);

} // namespace help
