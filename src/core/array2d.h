#pragma once

#include <QList>
#include <QVariant>

namespace cg {

// A two-dimensional array indexed from 1 in both dimensions, as code lists
// and pick-lists come back from the data service. A default-constructed
// array is not allocated.
class Array2D {
public:
    Array2D() = default;
    Array2D(int rows, int cols) : m_rows(rows), m_cols(cols), m_allocated(true),
        m_data(qsizetype(rows) * cols) {}

    bool isAllocated() const { return m_allocated; }
    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    // Bounds of dimension 1 (rows) or 2 (columns).
    int lowerBound(int) const { return 1; }
    int upperBound(int dim) const { return dim == 1 ? m_rows : m_cols; }

    // 1-based access; out-of-range reads give an invalid QVariant.
    QVariant at(int row, int col) const
    {
        if (row < 1 || row > m_rows || col < 1 || col > m_cols)
            return {};
        return m_data[qsizetype(row - 1) * m_cols + (col - 1)];
    }
    void set(int row, int col, const QVariant &v)
    {
        if (row >= 1 && row <= m_rows && col >= 1 && col <= m_cols)
            m_data[qsizetype(row - 1) * m_cols + (col - 1)] = v;
    }
    // Appends a row (values for columns 1..cols); allocates a 0-row array first if needed.
    void appendRow(const QVariantList &values)
    {
        if (!m_allocated) { m_allocated = true; m_cols = int(values.size()); }
        ++m_rows;
        m_data.resize(qsizetype(m_rows) * m_cols);
        for (int c = 1; c <= m_cols && c <= values.size(); ++c)
            set(m_rows, c, values[c - 1]);
    }

private:
    int m_rows = 0;
    int m_cols = 0;
    bool m_allocated = false;
    QVariantList m_data;
};

// upper bound - lower bound + 1 of a dimension (1 or 2); 0 when the array is
// not allocated or has no such dimension.
inline int ArrayCount(const Array2D &a, int dimension)
{
    if (!a.isAllocated() || (dimension != 1 && dimension != 2))
        return 0;
    return a.upperBound(dimension) - a.lowerBound(dimension) + 1;
}

} // namespace cg
