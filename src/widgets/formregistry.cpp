#include "formregistry.h"

#include <QDialog>
#include <QEventLoop>
#include <QMetaProperty>
#include <QPointer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace cg {

void FormRegistry::add(const QString &form, Factory factory)
{
    m_factories.insert(form, std::move(factory));
}

QWidget *FormRegistry::create(const QString &form, QWidget *parent) const
{
    const auto it = m_factories.constFind(form);
    if (it == m_factories.constEnd() || !*it)
        return nullptr;
    return (*it)(parent);
}

namespace {

QVariantMap propertiesOf(const QObject *o)
{
    QVariantMap out;
    const QMetaObject *mo = o->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        if (QString::fromLatin1(p.name()).startsWith(QLatin1String("m_")))
            out.insert(QString::fromLatin1(p.name()), p.read(o));
    }
    const auto dynamicNames = o->dynamicPropertyNames();
    for (const QByteArray &name : dynamicNames)
        out.insert(QString::fromLatin1(name), o->property(name.constData()));
    return out;
}

} // namespace

QVariantMap FormRegistry::runModal(QWidget *parent, const QString &form, const QVariantMap &members) const
{
    QPointer<QWidget> w = create(form, parent);
    if (!w)
        return {};
    for (auto it = members.constBegin(); it != members.constEnd(); ++it)
        w->setProperty(it.key().toLatin1().constData(), it.value());

    QVariantMap result;
    if (auto *dlg = qobject_cast<QDialog *>(w.data())) {
        QObject::connect(dlg, &QDialog::finished, dlg, [&result, dlg](int) { result = propertiesOf(dlg); });
        if (m_beforeShow)
            m_beforeShow(dlg);
        dlg->exec();
        if (dlg && result.isEmpty())
            result = propertiesOf(dlg);
    } else {
        // A plain widget runs as an application-modal window until it closes.
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->setWindowModality(Qt::ApplicationModal);
        if (m_beforeShow)
            m_beforeShow(w);
        w->show();
        QEventLoop loop;
        QObject::connect(w, &QObject::destroyed, &loop, &QEventLoop::quit);
        while (w && w->isVisible())
            loop.processEvents(QEventLoop::WaitForMoreEvents);
        if (w)
            result = propertiesOf(w);
    }
    if (result.isEmpty())
        result.insert(u"__form"_s, form); // shown, but the form has no members
    delete w.data();
    return result;
}

} // namespace cg
