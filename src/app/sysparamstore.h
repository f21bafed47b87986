#pragma once

#include <QString>
#include <QVariant>

namespace cg {

class DefinitionService;

// Where the system parameters dialog reads and writes parameters 1..15.
// The workstation goes to the data service; a test can put a store in
// between that fails on a chosen write.
class SysParamStore {
public:
    virtual ~SysParamStore() = default;
    virtual QVariant GetSysParam(int index) = 0;
    virtual void SetSysParam(int index, const QVariant &value) = 0;
};

class ServiceSysParamStore : public SysParamStore {
public:
    ServiceSysParamStore(DefinitionService &service, QString context)
        : m_service(service), m_context(std::move(context)) {}
    QVariant GetSysParam(int index) override;
    void SetSysParam(int index, const QVariant &value) override;

private:
    DefinitionService &m_service;
    QString m_context;
};

} // namespace cg
