#pragma once
// The report as a PDF file. The page is made in memory, then written beside
// its target and only put in place once complete and on disk, so a failed
// export never leaves a half-written file in place of an existing one.
#include "base/Status.h"
#include "report/ReportInput.h"

#include <QByteArray>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <cstdint>

namespace ReportPdf {

// Name of the print job, and title of the classic page's PDF (the full
// page's is "ZB740 Test Report").
inline constexpr char kDocumentName[] = "client   print";
// Dots per inch of the PDF's coordinates: 0.1 mm is 4.7 dots.
inline constexpr int kResolution = 1200;

// A4 portrait; the printable area is the page less 10 mm on every side.
QPageLayout a4Layout();
// The full page's: the paper (A4 or Letter) less 15 mm on every side.
QPageLayout fullLayout(QPageSize::PageSizeId size = QPageSize::A4);

// The report as the bytes of a PDF file with the given page layout. The
// message of a failure names path, the file it was meant for.
Status render(const QString& path, const ReportInput& input, int64_t printedAt, QByteArray& pdf,
              const QPageLayout& layout = a4Layout(), int resolution = kResolution);

// Writes the report to path with the given page layout, through
// DurableFile::save(): a FIFO, device node or folder at path is refused. A
// failure names the file and the reason; an existing file at path is then
// left as it was.
Status write(const QString& path, const ReportInput& input, int64_t printedAt,
             const QPageLayout& layout = a4Layout(), int resolution = kResolution);

// "Could not save "path": ", the start of the message of a failed write.
QString failedPrefix(const QString& path);

} // namespace ReportPdf
