#include "widgets/formfields.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace cg {

void AddCaptionedFields(QGridLayout *grid, QWidget *parent, std::initializer_list<CaptionedField> fields,
                        int perLine, int firstRow)
{
    int i = 0;
    for (const CaptionedField &f : fields) {
        const int row = firstRow + i / perLine;
        const int column = 2 * (i % perLine);
        auto *label = new QLabel(f.caption, parent);
        label->setBuddy(f.field);
        grid->addWidget(label, row, column);
        grid->addWidget(f.field, row, column + 1);
        ++i;
    }
}

QDateEdit *DatePicker(const QString &objectName, QWidget *parent)
{
    auto *picker = new QDateEdit(parent);
    picker->setObjectName(objectName);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(u"yyyy-MM-dd"_s);
    return picker;
}

} // namespace cg
