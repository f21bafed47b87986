#include "sheetprinter.h"
#include "core/files.h"

#include "sheettemplate.h"

#include "core/array2d.h"
#include "widgets/filechooser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

Q_LOGGING_CATEGORY(lcSheetPrinter, "coachgate.sheetprinter")

namespace {
SheetPrinterBackend *g_defaultBackend = nullptr;

// Every sheet is laid out on A4 portrait with 15 mm margins.
void setupPage(QPagedPaintDevice &device)
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
}

// Lays the sheet out on the device's pages itself, so that no page numbers
// are added (a sheet is a form, not a report with pages).
void printOn(QTextDocument &sheet, QPagedPaintDevice &device)
{
    sheet.setPageSize(device.pageLayout().paintRectPoints().size());
    sheet.print(&device);
}
} // namespace

bool QPrinterBackend::print(QTextDocument &sheet, bool showDialog, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    setupPage(printer);
    if (showDialog) {
        QPrintDialog dialog(&printer, parent);
        if (dialog.exec() != QDialog::Accepted) {
            qCInfo(lcSheetPrinter) << "printing cancelled in the print dialog";
            return false;
        }
    }
    if (!printer.isValid() || (printer.printerName().isEmpty() && printer.outputFileName().isEmpty())) {
        qCWarning(lcSheetPrinter) << "no printer available; sheet not printed";
        return false;
    }
    printOn(sheet, printer);
    if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted) {
        qCWarning(lcSheetPrinter) << "printer" << printer.printerName() << "failed; sheet not printed";
        return false;
    }
    return true;
}

bool QPrinterBackend::hasPrinter() const
{
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

bool PdfFolderBackend::print(QTextDocument &sheet, bool, QWidget *)
{
    const QString path = QDir(m_folder).filePath(u"sheet-%1.pdf"_s.arg(m_printed.size() + 1));
    QPdfWriter writer(path);
    setupPage(writer);
    printOn(sheet, writer);
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0) {
        qCWarning(lcSheetPrinter) << "cannot write" << path;
        return false;
    }
    m_printed.append(path);
    return true;
}

SheetPrinter::SheetPrinter(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"SheetPrinter"_s);
    m_view = new QTextBrowser(this);
    m_view->setObjectName(u"sheetView"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

SheetPrinter::~SheetPrinter() = default;

void SheetPrinter::setDefaultBackend(SheetPrinterBackend *backend)
{
    g_defaultBackend = backend;
}

bool SheetPrinter::hasPrinter() const
{
    return backend()->hasPrinter();
}

SheetPrinterBackend *SheetPrinter::backend() const
{
    static QPrinterBackend printer;
    if (m_backend)
        return m_backend;
    return g_defaultBackend ? g_defaultBackend : &printer;
}

bool SheetPrinter::LoadSheetData(const QList<QStringList> &labelValueRows, const RecordSet *records)
{
    m_loaded = false;
    m_html.clear();
    m_view->clear();
    QFile file(m_templateFile);
    if (m_templateFile.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        qCWarning(lcSheetPrinter).noquote() << u"cannot read the sheet template \"%1\": %2"_s.arg(
            QDir::toNativeSeparators(m_templateFile), m_templateFile.isEmpty() ? u"no file given"_s : file.errorString());
        return false;
    }
    m_html = FillSheetTemplate(QString::fromUtf8(file.readAll()), labelValueRows, records);
    m_loaded = true;
    m_view->setHtml(m_html);
    return true;
}

bool SheetPrinter::LoadSheetData(const Array2D &labelValueRows, const RecordSet *records)
{
    QList<QStringList> rows;
    for (int r = 1; r <= ArrayCount(labelValueRows, 1); ++r)
        rows.append({labelValueRows.at(r, 1).toString(), labelValueRows.at(r, 2).toString()});
    return LoadSheetData(rows, records);
}

std::unique_ptr<QTextDocument> SheetPrinter::makeDocument() const
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setHtml(m_html);
    return doc;
}

bool SheetPrinter::PrintSheet(bool showDialog)
{
    if (!m_loaded) {
        qCWarning(lcSheetPrinter) << "nothing to print: no sheet loaded";
        return false;
    }
    auto doc = makeDocument();
    return backend()->print(*doc, showDialog, this);
}

void SheetPrinter::PreviewSheet()
{
    if (!m_loaded) {
        qCWarning(lcSheetPrinter) << "nothing to preview: no sheet loaded";
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    setupPage(printer);
    QPrintPreviewDialog dialog(&printer, this);
    auto doc = makeDocument();
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&doc](QPrinter *p) { printOn(*doc, *p); });
    dialog.exec();
}

bool SheetPrinter::renderToPdf(const QString &path) const
{
    if (!m_loaded) {
        qCWarning(lcSheetPrinter) << "nothing to render: no sheet loaded";
        return false;
    }
    // Written beside the target first, so a failure never leaves half a file.
    const QString temp = path + u".part"_s;
    QFile::remove(temp);
    {
        QPdfWriter writer(temp);
        writer.setCreator(u"coachgate"_s);
        setupPage(writer);
        auto doc = makeDocument();
        printOn(*doc, writer);
    }
    if (!QFileInfo(temp).isFile() || QFileInfo(temp).size() == 0) {
        qCWarning(lcSheetPrinter) << "cannot write" << path;
        QFile::remove(temp);
        return false;
    }
    return replaceWithPart(path, temp);
}

bool SheetPrinter::replaceWithPart(const QString &path, const QString &part)
{
    if (QString why; !ReplaceFileWith(path, part, &why)) {
        qCWarning(lcSheetPrinter) << "cannot replace" << path << why;
        return false;
    }
    return true;
}

QString SheetPrinter::RunSheetCommand(int code)
{
    m_lastError.clear();
    if (code != 1) {
        qCWarning(lcSheetPrinter) << "unknown sheet command" << code;
        m_lastError = u"未知的报表命令 %1"_s.arg(code);
        return {};
    }
    if (!m_loaded) {
        qCWarning(lcSheetPrinter) << "nothing to export: no sheet loaded";
        m_lastError = u"没有可导出的报表"_s;
        return {};
    }
    if (!m_files)
        return {};
    QString path = m_files->saveFileName(this, u"导出至..."_s,
                                         u"Excel 工作簿 (*.xlsx);;PDF 文件 (*.pdf)"_s);
    if (path.isEmpty())
        return {};
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool pdf = suffix == u"pdf"_s;
    if (!pdf && suffix != u"xlsx"_s)
        path += u".xlsx"_s;
    if (pdf ? renderToPdf(path) : exportToXlsx(path))
        return path;
    m_lastError = u"无法写入文件 %1"_s.arg(QDir::toNativeSeparators(path));
    return {};
}

} // namespace cg
