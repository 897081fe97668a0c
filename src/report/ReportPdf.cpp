#include "report/ReportPdf.h"

#include "base/DurableFile.h"
#include "report/FullPageLayout.h"
#include "report/ReportFacts.h"
#include "report/ReportLayout.h"
#include "report/ReportPage.h"

#include <QBuffer>
#include <QDir>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

QString ReportPdf::failedPrefix(const QString& path)
{
    return QStringLiteral("Could not save \"%1\": ").arg(QDir::toNativeSeparators(path));
}

QPageLayout ReportPdf::fullLayout(QPageSize::PageSizeId size)
{
    const double m = FullPageLayout::kMarginMm;
    return QPageLayout(QPageSize(size), QPageLayout::Portrait, QMarginsF(m, m, m, m), QPageLayout::Millimeter);
}

QPageLayout ReportPdf::a4Layout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

Status ReportPdf::render(const QString& path, const ReportInput& input, int64_t printedAt, QByteArray& pdf,
                         const QPageLayout& layout, int resolution)
{
    pdf.clear();
    const bool full = input.options.style == ReportStyle::Full;
    const QRectF paperMm = layout.fullRect(QPageLayout::Millimeter);
    const QRectF fullMm = ReportPage::fullArea(paperMm, layout.paintRect(QPageLayout::Millimeter), 1.0);
    if (Status s = full ? ReportPage::checkFullArea(fullMm.size())
                        : ReportPage::checkArea(layout.paintRect(QPageLayout::Millimeter).size());
        !s.ok())
        return s;

    // The page is made in memory first: the PDF engine does not look at what
    // its writes return, so it could not tell a short write on a full disk.
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        // The title, the report's id and the data's hash go in the document's
        // information as well, where zb740-cli verify reads the hash back.
        const QString title = full ? QLatin1String(ReportLayout::kTitle) : QLatin1String(kDocumentName);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("ZB740"));
        writer.setDocumentXmpMetadata(ReportFacts::xmpPacket(title, ReportFacts::reportId(input.sha256, printedAt),
                                                             ReportFacts::hashText(input.sha256)));
        writer.setResolution(resolution);
        // The writer would round its margins to whole points (9.88 mm for
        // 10 mm): it paints the full page, and the margins are kept here.
        QPageLayout fullPage(layout.pageSize(), layout.orientation(), QMarginsF(0, 0, 0, 0));
        fullPage.setMode(QPageLayout::FullPageMode);
        writer.setPageLayout(fullPage);
        QPainter painter;
        if (!painter.begin(&writer))
            return Status::failure(Status::Code::Failed,
                                   failedPrefix(path) + QStringLiteral("the PDF could not be started."));
        const double dotsPerMm = resolution / 25.4;
        const QMarginsF mm = layout.margins(QPageLayout::Millimeter);
        const QRectF page(0, 0, writer.width(), writer.height());
        const QRectF printable = page.adjusted(mm.left() * dotsPerMm, mm.top() * dotsPerMm,
                                               -mm.right() * dotsPerMm, -mm.bottom() * dotsPerMm);
        if (full)
            ReportPage::paintFull(painter, input, printedAt, ReportPage::fullArea(page, printable, dotsPerMm));
        else
            ReportPage::paint(painter, input, printedAt, printable);
        painter.end();
    }
    return Status::success();
}

Status ReportPdf::write(const QString& path, const ReportInput& input, int64_t printedAt, const QPageLayout& layout,
                        int resolution)
{
    QByteArray pdf;
    if (Status s = render(path, input, printedAt, pdf, layout, resolution); !s.ok())
        return s;
    return DurableFile::save(path, pdf).prefixed(failedPrefix(path));
}
