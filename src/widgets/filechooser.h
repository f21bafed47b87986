#pragma once

#include <QString>

class QWidget;

namespace cg {

// The common file dialog. Screens ask through this seam so that tests can
// answer without a human. An empty result means the operator cancelled.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // filter: Qt filter list, entries separated by ";;", the first selected.
    virtual QString saveFileName(QWidget *parent, const QString &title, const QString &filter) = 0;
    // The open form; it also accepts the name of a file that does not exist
    // yet.
    virtual QString openFileName(QWidget *parent, const QString &title, const QString &filter) = 0;
};

// Real QFileDialog dialogs. A name typed without an extension gets the one
// of the chosen filter.
class DialogFileChooser : public FileChooser {
public:
    QString saveFileName(QWidget *parent, const QString &title, const QString &filter) override;
    QString openFileName(QWidget *parent, const QString &title, const QString &filter) override;
};

} // namespace cg
