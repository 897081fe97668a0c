#pragma once
// The report as a PDF file. The file is written beside its target and only
// replaces it once complete, so a failed export never leaves a half-written
// file in place of an existing one.
#include "base/Status.h"
#include "report/ReportInput.h"

#include <QPageLayout>
#include <QString>
#include <cstdint>

namespace ReportPdf {

// Name of the print job and title of the PDF.
inline constexpr char kDocumentName[] = "client   print";
// Dots per inch of the PDF's coordinates: 0.1 mm is 4.7 dots.
inline constexpr int kResolution = 1200;

// A4 portrait; the printable area is the page less 10 mm on every side.
QPageLayout a4Layout();

// Writes the report to path with the given page layout. A failure names the
// file and the reason; an existing file at path is then left as it was.
Status write(const QString& path, const ReportInput& input, int64_t printedAt,
             const QPageLayout& layout = a4Layout(), int resolution = kResolution);

} // namespace ReportPdf
