#include "filechooser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// "Microsoft Excel File (*.xls)" -> "xls"; "" when the filter has no single
// extension.
QString filterSuffix(const QString &filter)
{
    static const QRegularExpression re(u"\\(\\*\\.([A-Za-z0-9]+)\\)"_s);
    const QRegularExpressionMatch m = re.match(filter);
    return m.hasMatch() ? m.captured(1) : QString();
}

QString runDialog(QWidget *parent, const QString &title, const QString &filter, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (mode == QFileDialog::AcceptOpen)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QString first = filter.section(u";;"_s, 0, 0);
    dialog.setDefaultSuffix(filterSuffix(first));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString &f) { dialog.setDefaultSuffix(filterSuffix(f)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString DialogFileChooser::saveFileName(QWidget *parent, const QString &title, const QString &filter)
{
    return runDialog(parent, title, filter, QFileDialog::AcceptSave);
}

QString DialogFileChooser::openFileName(QWidget *parent, const QString &title, const QString &filter)
{
    return runDialog(parent, title, filter, QFileDialog::AcceptOpen);
}

} // namespace cg
