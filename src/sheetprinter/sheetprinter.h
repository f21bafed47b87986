#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class QTextBrowser;
class QTextDocument;

namespace cg {

class Array2D;
class FileChooser;
class RecordSet;

Q_DECLARE_LOGGING_CATEGORY(lcSheetPrinter)

// Where a filled sheet goes when it is printed. The workstation prints on a
// real printer; tests and the demo install a backend that writes PDF files,
// so nothing ever reaches a printer by accident.
class SheetPrinterBackend {
public:
    virtual ~SheetPrinterBackend() = default;
    // Prints the document; false when it was not printed (cancelled dialog,
    // no printer, printer error). The reason goes to the log.
    virtual bool print(QTextDocument &sheet, bool showDialog, QWidget *parent) = 0;
    // Whether there is a printer to print on at all.
    virtual bool hasPrinter() const { return true; }
};

// The system's printer (QPrinter), with the print dialog when asked for.
class QPrinterBackend : public SheetPrinterBackend {
public:
    bool print(QTextDocument &sheet, bool showDialog, QWidget *parent) override;
    // False when the system has no printer installed.
    bool hasPrinter() const override;
};

// Writes every printed sheet as a PDF file into a folder (sheet-1.pdf,
// sheet-2.pdf, ...). For tests and demonstrations.
class PdfFolderBackend : public SheetPrinterBackend {
public:
    explicit PdfFolderBackend(QString folder) : m_folder(std::move(folder)) {}
    bool print(QTextDocument &sheet, bool showDialog, QWidget *parent) override;
    QStringList printed() const { return m_printed; }

private:
    QString m_folder;
    QStringList m_printed;
};

// The sheet printer control: a template file, filled from a label/value
// table and optionally a record set, shown as a page, printed, previewed or
// exported. Failures never throw: they are written to the log
// (coachgate.sheetprinter) and the operation reports false or "".
class SheetPrinter : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString TemplateFile READ TemplateFile WRITE setTemplateFile)
public:
    explicit SheetPrinter(QWidget *parent = nullptr);
    ~SheetPrinter() override;

    QString TemplateFile() const { return m_templateFile; }
    void setTemplateFile(const QString &path) { m_templateFile = path; }

    // Fills the template from the table (column 1 label, column 2 value)
    // and the records of the repeated rows. False (and an empty sheet) when
    // the template cannot be read.
    bool LoadSheetData(const QList<QStringList> &labelValueRows, const RecordSet *records = nullptr);
    // The same from an array of N rows by 2 columns, indexed from 1.
    bool LoadSheetData(const Array2D &labelValueRows, const RecordSet *records = nullptr);

    // Prints the filled sheet through the backend; false when nothing was
    // printed.
    bool PrintSheet(bool showDialog = false);
    // Whether the backend has a printer to print on.
    bool hasPrinter() const;
    // The print preview dialog of the filled sheet.
    void PreviewSheet();
    // Command 1 exports the filled sheet: asks for a file name (an .xlsx
    // workbook or a .pdf by the chosen name) and returns the written path,
    // or "" when cancelled, failed or the command is unknown.
    QString RunSheetCommand(int code);

    // Why the last export wrote nothing: empty after a successful or
    // cancelled export, else the reason for the operator.
    QString lastError() const { return m_lastError; }

    // Writes the filled sheet as a PDF; false on failure.
    bool renderToPdf(const QString &path) const;
    // Writes the filled sheet's tables as an xlsx workbook; false on failure.
    bool exportToXlsx(const QString &path) const;

    bool isLoaded() const { return m_loaded; }
    QString filledHtml() const { return m_html; }

    // The backend printing goes to; nullptr restores the default. Not owned.
    void setBackend(SheetPrinterBackend *backend) { m_backend = backend; }
    // The backend of every sheet printer without its own (the workstation's
    // printer unless replaced). Not owned; nullptr restores the printer.
    static void setDefaultBackend(SheetPrinterBackend *backend);
    // The file dialogs of exports; without one, exports are cancelled.
    void setFileChooser(FileChooser *files) { m_files = files; }

private:
    SheetPrinterBackend *backend() const;
    std::unique_ptr<QTextDocument> makeDocument() const;
    // Puts the complete file part, written beside path, in path's place;
    // false, with the reason in the log, when it cannot.
    static bool replaceWithPart(const QString &path, const QString &part);

    QString m_templateFile;
    QString m_html;
    mutable QString m_lastError;
    bool m_loaded = false;
    SheetPrinterBackend *m_backend = nullptr;
    FileChooser *m_files = nullptr;
    QTextBrowser *m_view = nullptr;
};

} // namespace cg
