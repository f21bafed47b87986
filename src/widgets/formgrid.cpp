#include "widgets/formgrid.h"

#include <QGridLayout>
#include <QLabel>

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

} // namespace cg
