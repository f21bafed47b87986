#pragma once

#include <QString>
#include <exception>

namespace cg {

// The one error type of the program: a number and an operator-readable
// description. Helpers and services throw it; every event handler catches it
// in its error trap and passes it to ReportError.
class AppError : public std::exception {
public:
    AppError(int number, QString description)
        : m_number(number), m_description(std::move(description)),
          m_utf8(m_description.toUtf8()) {}

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_utf8;
};

// Error numbers raised by the shared helpers. Services use their own range
// (see services/serviceerror.h).
namespace errnum {
constexpr int InvalidArgument = 5;   // bad argument or value out of range
constexpr int Overflow = 6;          // numeric overflow
constexpr int NoCurrentRecord = 3021; // record set has no current record
constexpr int UnknownField = 3265;    // field name not in the record set
constexpr int TypeMismatch = 13;     // conversion failed
}

} // namespace cg
