#include "logger/CLoggerGraphDlg.h"

#include "base/LocalTime.h"
#include "data/DataFile.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "widgets/CYScaleDlg.h"
#include "widgets/KeyFilter.h"
#include "widgets/Pictures.h"
#include "widgets/SaveDialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cstdio>

namespace {

// Template sizes in pixels (two per dialog unit), at the default size; the
// list and the scroll bar keep their distances from the window's edges.
constexpr QRect kListRect(6, 28, 232, 568);
constexpr QRect kScrollRect(302, 568, 590, 16);
constexpr int kListBottomGap = kLoggerPolicy.defaultWindow.height() - kListRect.bottom() - 1;     // 2
constexpr int kScrollBottomGap = kLoggerPolicy.defaultWindow.height() - kScrollRect.top();       // 30
constexpr int kScrollRightGap = kLoggerPolicy.defaultWindow.width() - kScrollRect.right() - 1;   // 54
constexpr QSize kButtonFace(75, 18);
// The largest size kept for the next window.
constexpr int kMaxSide = 4096;

// The read-out band above the plot, where a cursor move rewrites the texts.
constexpr int kReadoutTop = LoggerChrome::kReadoutTop, kReadoutHeight = 20;

struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Buttons whose command has no tool tip show none, not their text.
class NoToolTip : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip)
            return true;
        return QObject::eventFilter(watched, event);
    }
};

bool isDataFile(const QUrl& url)
{
    return url.isLocalFile() && url.toLocalFile().endsWith(QStringLiteral(".AsmDat"), Qt::CaseInsensitive);
}

} // namespace

CLoggerGraphDlg::CLoggerGraphDlg(LoggerSession& session, QString settingsFile, QString startFolder, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
    , m_session(session)
    , m_settingsFile(std::move(settingsFile))
    , m_startFolder(std::move(startFolder))
    , m_controller(this, *this, session.display, kLoggerPolicy)
{
    setObjectName(QStringLiteral("loggerGraph"));
    setWindowTitle(QStringLiteral("Graph"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setAcceptDrops(true);
    // The plot follows the client at every repaint. The window opens at the
    // size it had when it was last closed, or at its template size.
    setMinimumSize(kMinWidth, kMinHeight);
    QSize opening = settings::readLoggerWindowSize(IniFile(m_settingsFile));
    if (opening.isEmpty())
        opening = QSize(kClientWidth, kClientHeight);
    opening = opening.expandedTo(minimumSize()).boundedTo(QSize(kMaxSide, kMaxSide));

    createToolBar();
    createList();
    m_scrollBar = new QScrollBar(Qt::Horizontal, this);
    m_scrollBar->setObjectName(QStringLiteral("scrollBar"));
    m_scrollBar->setAccessibleName(QStringLiteral("Scroll the zoomed curves"));
    m_controller.setScrollBar(m_scrollBar);
    resize(opening);
    layoutChildren();

    // Neither Enter nor Escape closes or changes the window.
    swallowEnterAndEscape(this);

    // Centred over the main window (or the screen) when it opens.
    const QRect over = parent ? parent->window()->frameGeometry()
                              : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                                  : QRect(0, 0, kClientWidth, kClientHeight));
    move(over.center() - QPoint(width() / 2, height() / 2));
}

CLoggerGraphDlg::~CLoggerGraphDlg() = default;

void CLoggerGraphDlg::createToolBar()
{
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("loggerToolBar"));
    m_toolBar->setIconSize(kButtonFace);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setFloatable(false);
    m_toolBar->setMovable(false);
    struct Button {
        Command id;
        const char* word;
        const char* face;
        const char* tip;
    };
    const Button buttons[] = {
        {Command::Download, "OPEN", "lg_open", "Download"},
        {Command::Print, "Print", "lg_print", nullptr},
        {Command::ZoomOut, "Undozoom", "lg_undozoom", "ZoomOut"},
        {Command::Air, "AIR", "lg_air", nullptr},
        {Command::Wb, "WB", "lg_wb", nullptr},
        {Command::Dp, "DP", "lg_dp", nullptr},
        {Command::Kir, "K/IR", "lg_kir", nullptr},
        {Command::Rh, "RH", "lg_rh", nullptr},
        {Command::Combine, "Combine", "lg_combine", nullptr},
        {Command::YAxis, "Y Axis", "lg_yaxis", nullptr},
    };
    auto* noTip = new NoToolTip(this);
    for (const Button& b : buttons) {
        const QPixmap face = renderPicture(QStringLiteral(":/res/%1.svg").arg(QLatin1String(b.face)), kButtonFace);
        auto* a = new QAction(QIcon(face), QString::fromLatin1(b.word), this);
        if (b.tip)
            a->setToolTip(QString::fromLatin1(b.tip));
        m_toolBar->addAction(a);
        if (!b.tip) {
            if (QWidget* button = m_toolBar->widgetForAction(a))
                button->installEventFilter(noTip);
        }
        m_actions[size_t(b.id)] = a;
    }

    connect(action(Command::Download), &QAction::triggered, this, &CLoggerGraphDlg::onDownload);
    connect(action(Command::Print), &QAction::triggered, this, [this] {
        if (m_print)
            m_print();
    });
    action(Command::Print)->setEnabled(false);
    connect(action(Command::ZoomOut), &QAction::triggered, this, &CLoggerGraphDlg::onZoomOut);
    // A key of the window, beside the toolbar's ZoomOut.
    m_stepBack = new QAction(QStringLiteral("Zoom Back"), this);
    m_stepBack->setShortcut(QKeySequence(Qt::Key_Backspace));
    addAction(m_stepBack);
    connect(m_stepBack, &QAction::triggered, this, &CLoggerGraphDlg::onStepBack);
    const Command curves[] = {Command::Air, Command::Wb, Command::Dp, Command::Kir, Command::Rh};
    for (int c = 0; c < kChannelCount; ++c)
        connect(action(curves[c]), &QAction::triggered, this, [this, c] { showOnlyCurve(c); });
    connect(action(Command::Combine), &QAction::triggered, this, &CLoggerGraphDlg::showAllCurves);
    connect(action(Command::YAxis), &QAction::triggered, this, &CLoggerGraphDlg::onYAxis);

    // Export sits at the toolbar's free end, beside its ten faces: a menu
    // of the formats the displayed set can be written in.
    m_exportMenu = new QMenu(this);
    const struct {
        const char* text;
        SampleExport::Format format;
    } formats[] = {{SaveDialog::kExportCsvText, SampleExport::Format::Csv},
                   {SaveDialog::kExportJsonlText, SampleExport::Format::Jsonl}};
    for (const auto& f : formats) {
        QAction* a = m_exportMenu->addAction(QString::fromUtf8(f.text));
        connect(a, &QAction::triggered, this, [this, format = f.format] {
            if (m_export)
                m_export(format);
        });
    }
    m_exportButton = new QToolButton(this);
    m_exportButton->setObjectName(QStringLiteral("loggerExport"));
    m_exportButton->setText(QStringLiteral("Export"));
    m_exportButton->setToolTip(QStringLiteral("Export the shown set"));
    m_exportButton->setMenu(m_exportMenu);
    m_exportButton->setPopupMode(QToolButton::InstantPopup);
    m_exportButton->setEnabled(false);
}

void CLoggerGraphDlg::layoutChildren()
{
    const int w = width(), h = height();
    m_toolBar->setGeometry(0, 0, w, m_toolBar->sizeHint().height());
    const QSize button = m_exportButton->sizeHint();
    m_exportButton->setGeometry(w - button.width() - 8, std::max(0, (m_toolBar->height() - button.height()) / 2),
                                button.width(), button.height());
    // The list reaches down to the window's bottom edge, above its notice
    // when one is shown.
    int listBottom = h - kListBottomGap;
    if (!m_listNotice->isHidden()) {
        const int noticeHeight = m_listNotice->heightForWidth(kListRect.width());
        listBottom -= noticeHeight + 2;
        m_listNotice->setGeometry(kListRect.left(), listBottom + 2, kListRect.width(), noticeHeight);
    }
    m_list->setGeometry(kListRect.left(), kListRect.top(), kListRect.width(), listBottom - kListRect.top());
    m_scrollBar->setGeometry(kScrollRect.left(), h - kScrollBottomGap, w - kScrollRect.left() - kScrollRightGap,
                             kScrollRect.height());
}

void CLoggerGraphDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
    invalidate();
}

void CLoggerGraphDlg::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        m_plot.paletteChanged();
        invalidate();
    }
}

Status CLoggerGraphDlg::storeSize() const
{
    const IniFile ini(m_settingsFile);
    QSize stored = settings::readLoggerWindowSize(ini);
    if (stored.isEmpty())
        stored = QSize(kClientWidth, kClientHeight);
    if (size() == stored)
        return Status::success();
    return settings::writeLoggerWindowSize(ini, size());
}

void CLoggerGraphDlg::createList()
{
    m_list = new QTableWidget(0, ColumnCount, this);
    m_list->setObjectName(QStringLiteral("setList"));
    m_list->setAccessibleName(QStringLiteral("Data sets"));
    m_list->setGeometry(kListRect);
    m_list->setHorizontalHeaderLabels({QStringLiteral("Set"), QStringLiteral("Time"), QStringLiteral("Sampling Rate"),
                                       QStringLiteral("Nums"), QStringLiteral("File")});
    QHeaderView* header = m_list->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    // What tells the sets apart comes first, within the list's width: the
    // set's number, its file and its sample count; the start time and the
    // rate follow.
    header->moveSection(header->visualIndex(FileColumn), 1);
    header->moveSection(header->visualIndex(CountColumn), 2);
    header->setSectionsMovable(false);
    const int widths[ColumnCount] = {34, 130, 100, 52, 124};
    for (int c = 0; c < ColumnCount; ++c)
        m_list->setColumnWidth(c, widths[c]);
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->verticalHeader()->hide();
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { selectRow(row); });

    // Said when the 101st set starts the list over at set 1.
    m_listNotice = new QLabel(this);
    m_listNotice->setObjectName(QStringLiteral("listNotice"));
    m_listNotice->setWordWrap(true);
    m_listNotice->setFrameShape(QFrame::StyledPanel);
    m_listNotice->hide();
}

void CLoggerGraphDlg::setPrintHandler(std::function<void()> handler)
{
    m_print = std::move(handler);
    action(Command::Print)->setEnabled(bool(m_print));
}

void CLoggerGraphDlg::setExportHandler(std::function<void(SampleExport::Format)> handler)
{
    m_export = std::move(handler);
    m_exportButton->setEnabled(bool(m_export));
}

// --- painting ---

void CLoggerGraphDlg::invalidate()
{
    m_dirty = true;
    update();
}

void CLoggerGraphDlg::repaintNow()
{
    m_dirty = true;
    repaint();
}

void CLoggerGraphDlg::render()
{
    m_dirty = false;
    m_readoutDirty = false;
    m_plot.layoutAndRender(m_session, size());
    m_controller.syncScrollBar();
}

const plot::PlotFrame& CLoggerGraphDlg::currentFrame()
{
    const plot::PlotFrame& last = m_plot.frame();
    if (m_dirty || last.window != size()) {
        render();
    } else if (m_readoutDirty) {
        // The cursor moved: the layout and the curves stand, the read-out
        // above the plot is written again.
        m_readoutDirty = false;
        m_plot.renderReadout(m_session);
    }
    return m_plot.frame();
}

void CLoggerGraphDlg::paintEvent(QPaintEvent* event)
{
    if (!m_session.m_bLoggerShown) {
        m_session.m_bLoggerShown = true;
        emit shownChanged();
    }
    (void)currentFrame();
    QPainter p(this);
    m_plot.renderer().paint(p, event->rect(), m_session.display);
}

QRect CLoggerGraphDlg::readoutRect() const
{
    return QRect(0, kReadoutTop, width(), kReadoutHeight);
}

// --- the mouse ---

void CLoggerGraphDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_controller.mousePress(event->position().toPoint());
}

void CLoggerGraphDlg::mouseMoveEvent(QMouseEvent* event)
{
    m_controller.mouseMove(event->position().toPoint());
}

void CLoggerGraphDlg::cursorMoved()
{
    const plot::Readout before = m_session.readout;
    m_session.followCursor();
    if (!(m_session.readout == before)) {
        m_readoutDirty = true;
        update(readoutRect());
    }
}

void CLoggerGraphDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_controller.mouseRelease(event->position().toPoint());
}

// --- commands ---

void CLoggerGraphDlg::resetDisplay()
{
    m_controller.resetView();
}

void CLoggerGraphDlg::onZoomOut()
{
    m_controller.undoZoom();
}

void CLoggerGraphDlg::onStepBack()
{
    m_controller.stepBack();
}

void CLoggerGraphDlg::showOnlyCurve(int channel)
{
    for (int c = 0; c < kChannelCount; ++c)
        m_session.showCurve[size_t(c)] = c == channel;
    invalidate();
}

void CLoggerGraphDlg::showAllCurves()
{
    m_session.showCurve.fill(true);
    invalidate();
}

void CLoggerGraphDlg::onYAxis()
{
    // The dialog preselects what the settings file holds; the choice is the
    // logger's own and is stored nowhere.
    const IniFile ini(m_settingsFile);
    CYScaleDlg dlg(settings::readGainIndex(ini, settings::kDialogGainIndex),
                   settings::readOffsetIndex(ini, settings::kOffsetIndex), this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_session.setScale(dlg.chosenScale(m_session.scale()));
    invalidate();
}

void CLoggerGraphDlg::onDownload()
{
    if (!m_session.m_bLoggerOpen)
        return;
    resetDisplay();
    repaintNow();
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Many files at once: each becomes a set, the last one stays shown.
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(QStringLiteral("DataLogger Files (*.AsmDat)"));
    dialog.setDefaultSuffix(QStringLiteral("AsmDat"));
    if (!m_startFolder.isEmpty() && QFileInfo(m_startFolder).isDir())
        dialog.setDirectory(m_startFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;  // cancelled: nothing to say
    loadFiles(dialog.selectedFiles());  // the failures were shown
}

Status CLoggerGraphDlg::loadFile(const QString& path)
{
    const Status s = loadQuietly(path);
    if (!s.ok())
        QMessageBox::warning(this, QStringLiteral("ZB740"), failureText(path, s), QMessageBox::Ok);
    return s;
}

Status CLoggerGraphDlg::loadQuietly(const QString& path)
{
    Status s = Status::success();
    {
        const WaitCursor wait;
        s = m_session.load(path);
    }
    if (!s.ok()) {
        showFailure(path, s);
        invalidate();
        return s;
    }
    m_session.m_bLoggerOpen = true;
    const QString note = m_session.loadNote();
    if (!note.isEmpty()) {
        // Loading goes on: the note goes to the terminal and to the set's
        // row in the list, never into a message box per file.
        std::fprintf(stderr, "zb740: %s: %s\n", QDir::toNativeSeparators(path).toLocal8Bit().constData(),
                     note.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    if (const auto appended = m_session.appendPending())
        addRow(*appended, path, note);
    resetDisplay();
    invalidate();
    return s;
}

void CLoggerGraphDlg::loadFiles(const QStringList& paths)
{
    // One message for all the files that could not be loaded, each named
    // with its reason; the good ones load all the same.
    QStringList failed;
    for (const QString& path : paths) {
        if (const Status s = loadQuietly(path); !s.ok())
            failed << QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(), reasonText(s));
    }
    if (failed.isEmpty())
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("ZB740"), failed.join(QLatin1Char('\n')), QMessageBox::Ok, this);
    if (failed.size() > 1)
        box.setInformativeText(QStringLiteral("%1 of %2 files could not be loaded.").arg(failed.size()).arg(paths.size()));
    box.exec();
}

QString CLoggerGraphDlg::reasonText(const Status& status)
{
    return status.code() == Status::Code::InvalidFormat ? QLatin1String(kInvalidFormatText) : status.message();
}

QString CLoggerGraphDlg::failureText(const QString& path, const Status& status)
{
    const QString name = QDir::toNativeSeparators(path);
    QString text;
    switch (status.code()) {
    case Status::Code::InvalidFormat:
        text = QLatin1String(kInvalidFormatText);
        break;
    case Status::Code::CannotOpen:
        text = QStringLiteral("Cannot open %1:\n%2").arg(name, status.message());
        break;
    default:
        text = QStringLiteral("Cannot read %1:\n%2").arg(name, status.message());
        break;
    }
    return text;
}

void CLoggerGraphDlg::showFailure(const QString& path, const Status& status)
{
    // On the terminal, for files named on the command line.
    std::fprintf(stderr, "zb740: %s: %s\n", QDir::toNativeSeparators(path).toLocal8Bit().constData(),
                 failureText(path, status).replace(QLatin1Char('\n'), QLatin1Char(' ')).toLocal8Bit().constData());
    std::fflush(stderr);
}

void CLoggerGraphDlg::addRow(const LoggerSetTable::Appended& a, const QString& path, const QString& note)
{
    if (a.wrapped) {
        // The table keeps 100 sets; the 101st is set 1 of a new list. Said
        // under the list, and on the terminal.
        m_list->setRowCount(0);
        const QString text = QStringLiteral("The list holds %1 sets: %2 started it over as set 1.")
                                 .arg(LoggerSetTable::kSlots)
                                 .arg(QFileInfo(path).fileName());
        m_listNotice->setText(text);
        m_listNotice->show();
        layoutChildren();
        std::fprintf(stderr, "zb740: %s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    const LoggerDataSet& s = m_session.table().set(a.slot);
    m_list->insertRow(a.slot);
    const QString cells[ColumnCount] = {
        QString::asprintf("%d", a.slot + 1),
        LocalTime::format(s.start, "%d/%m/%y %H:%M:%S"),
        QString::asprintf("%dsec", s.interval),
        QString::asprintf("%d", s.count),
        QFileInfo(path).fileName(),
    };
    for (int c = 0; c < ColumnCount; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        // A set shown with the default scale in place of its own carries a
        // warning sign and the note as its tool tip; the file's cell shows
        // the whole path.
        if (c == FileColumn)
            item->setToolTip(note.isEmpty() ? QDir::toNativeSeparators(path)
                                            : QDir::toNativeSeparators(path) + QLatin1Char('\n') + note);
        else if (!note.isEmpty())
            item->setToolTip(note);
        if (c == SetColumn && !note.isEmpty())
            item->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
        m_list->setItem(a.slot, c, item);
    }
    // The row of the set the plot shows is the selected one.
    m_list->selectRow(a.slot);
}

void CLoggerGraphDlg::selectRow(int row)
{
    if (!m_session.select(row))
        return;
    m_list->selectRow(row);
    resetDisplay();
    invalidate();
}

// --- keys, drops, closing ---

void CLoggerGraphDlg::keyPressEvent(QKeyEvent* event)
{
    if (consumeEnterOrEscape(event))
        return;
    QWidget::keyPressEvent(event);
}

void CLoggerGraphDlg::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), isDataFile))
        event->acceptProposedAction();
}

void CLoggerGraphDlg::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (isDataFile(url))
            paths << url.toLocalFile();
    }
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    // Loaded once the drop is over: a failure's message box must not hold
    // up the program the files came from.
    QMetaObject::invokeMethod(this, [this, paths] { loadFiles(paths); }, Qt::QueuedConnection);
}

void CLoggerGraphDlg::closeEvent(QCloseEvent* event)
{
    event->accept();
    // The table empties, the display state is reset, the flags are cleared;
    // the curve flags stay for the next window.
    m_session.close();
    m_list->setRowCount(0);
    // Not being able to keep the size costs only the size next time.
    (void)storeSize();
    emit shownChanged();
}
