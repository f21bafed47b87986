#include "frmsysparam.h"

#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "core/text.h"

#include <QHash>
#include "sysparamstore.h"
#include "services/station/coreservices.h"
#include "widgets/buttons.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

QVariant ServiceSysParamStore::GetSysParam(int index)
{
    return m_service.GetSysParam(m_context, index);
}

void ServiceSysParamStore::SetSysParam(int index, const QVariant &value)
{
    m_service.SetSysParam(m_context, index, value);
}

namespace {

constexpr int kMaxBytes = 50;

// Parameters are read in this order when the dialog opens and written in
// it when saving (the two screen sizes swapped, as they always were).
constexpr std::array<int, 15> kOrder{1, 2, 3, 4, 5, 6, 7, 8, 10, 9, 11, 12, 13, 14, 15};

enum class Stored { Text, Number, Flag };

Stored storedForm(int index)
{
    switch (index) {
    case 5: case 9: case 10: case 11: case 15: return Stored::Number;
    case 12: case 13: case 14: return Stored::Flag;
    default: return Stored::Text;
    }
}

QString valueText(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString();
}

// Restores the pointer however the save ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

double frmSysParam::LeadingNumber(const QString &text)
{
    bool ok = false;
    const double value = CleanNumericText(text, true, true).toDouble(&ok);
    return ok ? value : 0.0;
}

frmSysParam::frmSysParam(const Env &env, SysParamStore &store, QWidget *parent)
    : QDialog(parent), m_env(env), m_store(store)
{
    setObjectName(u"frmSysParam"_s);
    setWindowTitle(u"系统参数设置"_s);
    setModal(true);

    auto label = [this](const QString &name, const QString &caption) {
        auto *l = new QLabel(caption, this);
        l->setObjectName(name);
        return l;
    };

    // Plate prefix: kept and written, but not offered on any page.
    m_text[1] = addText(1, u"txtPrefixLicense"_s);
    QLabel *prefixLabel = label(u"lblPrefixLicense"_s, u"默认车牌前缀："_s);
    prefixLabel->hide();
    m_text[1]->hide();

    tabParam = new QTabWidget(this);
    tabParam->setObjectName(u"tabParam"_s);

    // 通用
    auto *general = new QWidget;
    general->setObjectName(u"fraGeneral"_s);
    auto *generalForm = new QFormLayout(general);
    m_text[11] = addText(11, u"txtBeforeMinute"_s);
    generalForm->addRow(label(u"lblBeforeMinute"_s, u"提前出站时间："_s), m_text[11]);
    m_text[15] = addText(15, u"txtCondTime"_s);
    generalForm->addRow(label(u"lblCondTime"_s, u"车况例检有效时间："_s), m_text[15]);
    m_check[13] = new QCheckBox(u"是否启用出站门检指纹核对"_s, general);
    m_check[13]->setObjectName(u"chkOutCheck"_s);
    generalForm->addRow(m_check[13]);
    m_check[14] = new QCheckBox(u"是否打印车况例检单"_s, general);
    m_check[14]->setObjectName(u"chkTechPrint"_s);
    generalForm->addRow(m_check[14]);
    tabParam->addTab(general, u"通用"_s);

    // 显示屏
    auto *screen = new QWidget;
    screen->setObjectName(u"fraScreen"_s);
    auto *screenForm = new QFormLayout(screen);
    cboFontSize = new QComboBox(screen);
    cboFontSize->setObjectName(u"cboFontSize"_s);
    cboFontSize->setEditable(true);
    cboFontSize->setInsertPolicy(QComboBox::NoInsert);
    cboFontSize->addItems({u"10"_s, u"12"_s, u"14"_s, u"16"_s});
    screenForm->addRow(label(u"lblFontSize"_s, u"字体大小："_s), cboFontSize);
    m_text[6] = addText(6, u"txtScreenWait"_s);
    screenForm->addRow(label(u"lblScreenWait"_s, u"安检等待："_s), m_text[6]);
    m_text[7] = addText(7, u"txtScreenPass"_s);
    screenForm->addRow(label(u"lblScreenPass"_s, u"安检合格："_s), m_text[7]);
    m_text[8] = addText(8, u"txtScreenNotPass"_s);
    screenForm->addRow(label(u"lblScreenNotPass"_s, u"安检不合格："_s), m_text[8]);
    m_text[9] = addText(9, u"txtScreenHeight"_s);
    screenForm->addRow(label(u"lblScreenHeight"_s, u"显示屏高度："_s), m_text[9]);
    m_text[10] = addText(10, u"txtScreenWidth"_s);
    screenForm->addRow(label(u"lblScreenWidth"_s, u"显示屏宽度："_s), m_text[10]);
    tabParam->addTab(screen, u"显示屏"_s);

    // 触摸屏
    auto *touch = new QWidget;
    touch->setObjectName(u"fraTouch"_s);
    auto *touchForm = new QFormLayout(touch);
    m_text[2] = addText(2, u"txtExitPassword"_s);
    touchForm->addRow(label(u"lblExitPassword"_s, u"退出密码："_s), m_text[2]);
    auto minutesRow = [&](int index, const QString &name, const QString &labelName, const QString &caption) {
        m_text[index] = addText(index, name);
        auto *row = new QHBoxLayout;
        row->addWidget(m_text[index], 1);
        row->addWidget(label(labelName + u"Unit"_s, u"(分钟)"_s));
        touchForm->addRow(label(labelName, caption), row);
    };
    minutesRow(3, u"txtStartCheckTime"_s, u"lblStartCheckTime"_s, u"显示车次时间(前)："_s);
    minutesRow(4, u"txtEndCheckTime"_s, u"lblEndCheckTime"_s, u"显示车次时间(后)："_s);
    m_check[12] = new QCheckBox(u"生物钟预测"_s, touch);
    m_check[12]->setObjectName(u"chkBiologicalClockReport"_s);
    touchForm->addRow(m_check[12]);
    tabParam->addTab(touch, u"触摸屏"_s);

    SelectAllOnFocus({m_text[2], m_text[3], m_text[4]});

    for (int index = 12; index <= 14; ++index)
        connect(m_check[index], &QCheckBox::clicked, this, [this, index] { markChanged(index); });
    BindByteLimit(cboFontSize, kMaxBytes);
    connect(cboFontSize, &QComboBox::editTextChanged, this, [this] {
        if (m_loading)
            return;
        CleanNumericControl(cboFontSize, false, false);
        markChanged(5);
    });

    cmdSave = new QPushButton(u"保存(&S)"_s, this);
    cmdSave->setObjectName(u"cmdSave"_s);
    cmdSave->setEnabled(false);
    auto *cmdClose = new QPushButton(u"关闭(&C)"_s, this);
    cmdClose->setObjectName(u"cmdClose"_s);
    connect(cmdSave, &QPushButton::clicked, this, &frmSysParam::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmSysParam::cmdClose_Click);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabParam, 1);
    layout->addLayout(RightAlignedRow({cmdSave, cmdClose}));
    resize(460, 300);

    Form_Load();
}

QLineEdit *frmSysParam::addText(int index, const QString &name)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(name);
    BindByteLimit(edit, kMaxBytes);
    connect(edit, &QLineEdit::textChanged, this, [this, edit, index] {
        if (m_loading)
            return;
        // Number boxes take only what their value can hold: whole minutes
        // and pixels, and the validity as a signed decimal.
        if (index == 15)
            CleanNumericControl(edit, true, true);
        else if (isWholeNumber(index))
            CleanNumericControl(edit, false, false);
        markChanged(index);
    });
    return edit;
}

void frmSysParam::Form_Load()
{
    m_loading = true;
    Trap(*m_env.messages, [this] {
        for (int index : kOrder) {
            const QVariant value = m_store.GetSysParam(index);
            if (index == 5)
                cboFontSize->setEditText(valueText(value));
            else if (m_check[index])
                m_check[index]->setChecked(LeadingNumber(valueText(value)) == 1.0);
            else
                m_text[index]->setText(valueText(value));
        }
    });
    m_loading = false;
    m_changed.fill(false);
    cmdSave->setEnabled(false);
}

bool frmSysParam::isChanged(int index) const
{
    return index >= 1 && index <= 15 && m_changed[index];
}

void frmSysParam::markChanged(int index)
{
    m_changed[index] = true;
    cmdSave->setEnabled(true);
}

QVariant frmSysParam::storedValue(int index) const
{
    switch (storedForm(index)) {
    case Stored::Flag:
        return QVariant(m_check[index]->isChecked() ? 1 : 0);
    case Stored::Number:
        return QVariant(LeadingNumber(index == 5 ? cboFontSize->currentText() : m_text[index]->text()));
    case Stored::Text:
        break;
    }
    return QVariant(m_text[index]->text());
}

bool frmSysParam::isWholeNumber(int index)
{
    return index == 3 || index == 4 || index == 5 || index == 9 || index == 10 || index == 11;
}

QString frmSysParam::invalidNumber(int *badIndex) const
{
    static const QHash<int, QString> captions{{3, u"显示车次时间(前)"_s}, {4, u"显示车次时间(后)"_s},
                                              {5, u"字体大小"_s},         {9, u"显示屏高度"_s},
                                              {10, u"显示屏宽度"_s},      {11, u"提前出站时间"_s},
                                              {15, u"车况例检有效时间"_s}};
    for (int index : kOrder) {
        if (!m_changed[index] || !captions.contains(index))
            continue;
        const QString text = (index == 5 ? cboFontSize->currentText() : m_text[index]->text()).trimmed();
        bool ok = false;
        text.toDouble(&ok);
        if (!ok) {
            *badIndex = index;
            return u"%1必须是%2，请重新输入。"_s.arg(captions.value(index),
                                                            index == 15 ? u"数字"_s : u"整数"_s);
        }
    }
    return QString();
}

void frmSysParam::cmdSave_Click()
{
    // A number box left empty (or holding a lone "-" or ".") is not saved
    // as 0 without a word: nothing is written until it is corrected.
    int bad = 0;
    const QString problem = invalidNumber(&bad);
    if (!problem.isEmpty()) {
        m_env.messages->show({u"输入错误"_s, problem, MsgIcon::Warning, MsgButtons::Ok}, this);
        QWidget *box = bad == 5 ? static_cast<QWidget *>(cboFontSize) : m_text[bad];
        if (QWidget *page = box->parentWidget(); page && tabParam->indexOf(page) >= 0)
            tabParam->setCurrentWidget(page);
        box->setFocus();
        return;
    }
    bool saved = false;
    {
        WaitCursor wait;
        Trap(*m_env.messages, [&] {
            for (int index : kOrder) {
                if (!m_changed[index])
                    continue;
                m_store.SetSysParam(index, storedValue(index));
                m_changed[index] = false;
            }
            saved = true;
        });
    }
    if (!saved)
        return; // unwritten flags stay set and 保存 stays enabled
    cmdSave->setEnabled(false);
    ShowNotice(*m_env.messages, u"系统参数保存完毕!"_s);
}

void frmSysParam::cmdClose_Click()
{
    reject();
}

} // namespace cg
