#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace cg {

enum class FieldType { Text, Integer, Double, Bool, DateTime, Bytes };

// A client-side record set, as every data-service operation returns it:
// named, typed fields, rows, and a current position read forward.
// A Null value is an invalid QVariant, distinct from an empty text.
class RecordSet {
public:
    struct Field {
        QString name;
        FieldType type = FieldType::Text;
        int definedSize = 0; // characters for texts, 0 = unlimited
    };

    RecordSet() = default;

    // Shape.
    void appendField(const QString &name, FieldType type, int definedSize = 0);
    int fieldCount() const { return int(m_fields.size()); }
    const Field &field(int index) const { return m_fields.at(index); }
    const QList<Field> &fields() const { return m_fields; }
    // Index of a field, case-insensitive as field names are; -1 when absent.
    int fieldIndex(const QString &name) const;
    bool hasField(const QString &name) const { return fieldIndex(name) >= 0; }

    // Rows. appendRow adds a row (Null values unless given) and makes it current.
    void appendRow(const QVariantList &values = {});
    int RecordCount() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }

    // Position: 0 .. RecordCount()-1, or RecordCount() at end of set.
    bool isEOF() const { return m_pos >= m_rows.size(); }
    bool isBOF() const { return m_pos < 0 || m_rows.isEmpty(); }
    void MoveFirst() { m_pos = 0; }
    void MoveLast() { m_pos = m_rows.isEmpty() ? 0 : m_rows.size() - 1; }
    void MoveNext() { if (m_pos < m_rows.size()) ++m_pos; }
    void Move(int n);
    int position() const { return int(m_pos); }

    // Values of the current row. Throws AppError naming the field when it
    // does not exist, or when there is no current row.
    QVariant value(const QString &name) const;
    bool isNull(const QString &name) const { return !value(name).isValid(); }
    void setValue(const QString &name, const QVariant &value);

    // Values of any row, by row index.
    QVariant valueAt(int row, const QString &name) const;
    void setValueAt(int row, const QString &name, const QVariant &value);
    const QVariantList &row(int row) const { return m_rows.at(row); }

private:
    int requireField(const QString &name) const;
    void requireCurrent() const;

    QList<Field> m_fields;
    QList<QVariantList> m_rows;
    qsizetype m_pos = 0;
};

// FieldValue: Empty (an invalid QVariant) for Null, a text trimmed of leading
// and trailing spaces, any other value as it is.
QVariant FieldValue(const RecordSet &rs, const QString &name);

// A new, empty record set with the same fields (names, types, sizes).
RecordSet CloneRecordsetShape(const RecordSet &source);

} // namespace cg
