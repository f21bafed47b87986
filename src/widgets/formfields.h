#pragma once

#include <QString>

#include <initializer_list>

class QDateEdit;
class QGridLayout;
class QWidget;

namespace cg {

// One field of a form with the caption standing before it.
struct CaptionedField {
    QString caption;
    QWidget *field;
};

// Lays the fields into grid from row firstRow on, perLine caption-field
// pairs a line, left to right. Each caption is a label, a child of parent,
// whose buddy is its field.
void AddCaptionedFields(QGridLayout *grid, QWidget *parent, std::initializer_list<CaptionedField> fields,
                        int perLine = 1, int firstRow = 0);

// A date field named objectName showing "yyyy-MM-dd", with a calendar to
// pick from.
QDateEdit *DatePicker(const QString &objectName, QWidget *parent);

} // namespace cg
