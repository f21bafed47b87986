#include "text.h"


#include <QStringEncoder>

#include <array>
#include <cstdint>
#include <limits>

using namespace Qt::StringLiterals;

namespace cg {

QString SplitAtFirst(const QString &text, bool before, const QString &separator)
{
    const qsizetype i = text.indexOf(separator);
    if (i < 0)
        return before ? text : QString();
    return before ? text.left(i) : text.mid(i + separator.size());
}

QString Bracket(const QString &text)
{
    return QLatin1Char('[') + text + QLatin1Char(']');
}

QString JoinCodeName(const QString &first, const QString &second)
{
    return first + Bracket(second);
}

namespace {

// The part between the first "[" at index open and the last character of
// text (the closing "]"); "" when there is nothing between them, e.g. "K001[".
QString innerPart(const QString &text, qsizetype open)
{
    const qsizetype n = text.size() - open - 2;
    return n > 0 ? text.mid(open + 1, n) : QString();
}

} // namespace

QString BracketInner(const QString &text, QString *head)
{
    const qsizetype open = text.indexOf(QLatin1Char('['));
    if (open < 0)
        return text;
    if (head)
        *head = text.left(open);
    return innerPart(text, open);
}

QString BracketHead(const QString &text, QString *inner)
{
    const qsizetype open = text.indexOf(QLatin1Char('['));
    if (open < 0) {
        if (inner)
            *inner = QString();
        return text;
    }
    if (inner)
        *inner = innerPart(text, open);
    return text.left(open);
}

QString IncrementTrailingNumber(const QString &code, int step)
{
    qsizetype start = code.size();
    while (start > 0 && code.at(start - 1) >= QLatin1Char('0') && code.at(start - 1) <= QLatin1Char('9'))
        --start;
    if (start == code.size())
        return code;

    // The digit run plus step, modulo 10^(run length): decimal arithmetic on
    // the digits themselves, so a run of any length keeps its rightmost digits
    // exactly and a negative step wraps (000 - 1 gives 999) instead of
    // losing its sign.
    QString digits = code.mid(start);
    std::int64_t amount = step < 0 ? -std::int64_t(step) : std::int64_t(step);
    const bool subtract = step < 0;
    for (qsizetype i = digits.size() - 1; i >= 0 && amount != 0; --i) {
        int d = digits.at(i).unicode() - u'0';
        const int part = int(amount % 10);
        amount /= 10;
        if (subtract) {
            d -= part;
            if (d < 0) {
                d += 10;
                ++amount; // borrow
            }
        } else {
            d += part;
            if (d > 9) {
                d -= 10;
                ++amount; // carry
            }
        }
        digits[i] = QChar(u'0' + d);
    }
    return code.left(start) + digits;
}

QString CleanNumericText(const QString &text, bool allowNegative, bool allowDecimal)
{
    // What reads as a number (with a "0" put in front, so that "-", "." and
    // "-." are accepted while the operator is typing): an optional leading
    // "-", ASCII digits and at most one ".". No "+", no exponent, no
    // thousands separators, no spaces inside.
    const QString t = text.trimmed();
    qsizetype end = 0;
    if (end < t.size() && t.at(end) == QLatin1Char('-'))
        ++end;
    bool seenPoint = false;
    while (end < t.size()) {
        const QChar c = t.at(end);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            ++end;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            ++end;
        } else {
            break;
        }
    }
    QString result = t.left(end);
    if (!allowDecimal)
        result = SplitAtFirst(result, true, u"."_s);
    // Without negatives a leading minus is not allowed at all: "-3" gives ""
    // and so does a lone "-" (or "-0"), which could only start a negative.
    if (!allowNegative && result.startsWith(QLatin1Char('-')))
        return QString();
    return result;
}

namespace {

// GBK byte length of every BMP code point; a code point GBK cannot encode
// carries its GB18030 length instead. Built once, on first use.
const std::array<std::uint8_t, 0x10000> &bmpByteLengths()
{
    static const std::array<std::uint8_t, 0x10000> table = [] {
        std::array<std::uint8_t, 0x10000> t{};
        QStringEncoder gbk("GBK", QStringConverter::Flag::Stateless);
        QStringEncoder gb18030("GB18030", QStringConverter::Flag::Stateless);
        for (char32_t cp = 0; cp < 0x10000; ++cp) {
            if (cp < 0x80) {
                t[cp] = 1;
                continue;
            }
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                t[cp] = 1; // a lone surrogate: converted to "?"
                continue;
            }
            const QChar ch{char16_t(cp)};
            const QByteArray g = gbk.isValid() ? gbk.encode(QStringView(&ch, 1)) : QByteArray();
            // GBK encodes nothing but "?" itself as 0x3F: a lone "?" (or an
            // empty result) means the code point has no GBK form.
            if (!g.isEmpty() && g != "?") {
                t[cp] = std::uint8_t(g.size());
                continue;
            }
            const QByteArray w = gb18030.isValid() ? gb18030.encode(QStringView(&ch, 1)) : QByteArray();
            t[cp] = std::uint8_t(!w.isEmpty() && w != "?" ? w.size() : 2);
        }
        return t;
    }();
    return table;
}

// The code point starting at i and how many UTF-16 units it takes.
char32_t codePointAt(QStringView text, qsizetype i, int &units)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        units = 2;
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    }
    units = 1;
    return c.unicode();
}

int codePointBytes(char32_t cp)
{
    if (cp < 0x80)
        return 1;
    if (cp > 0xFFFF)
        return 4; // every supplementary code point takes four bytes in GB18030
    return bmpByteLengths()[cp];
}

} // namespace

int AnsiByteLength(QStringView text)
{
    qint64 total = 0;
    for (qsizetype i = 0; i < text.size();) {
        int units = 1;
        total += codePointBytes(codePointAt(text, i, units));
        i += units;
    }
    return total > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(total);
}

QString TruncateToBytes(const QString &text, int maxBytes)
{
    if (maxBytes < 0)
        return QString();
    qint64 total = 0;
    for (qsizetype i = 0; i < text.size();) {
        int units = 1;
        const int bytes = codePointBytes(codePointAt(text, i, units));
        if (total + bytes > maxBytes)
            return text.left(i); // a character straddling the limit is dropped whole
        total += bytes;
        i += units;
    }
    return text;
}

QString CodeText(int kind, int code)
{
    if (kind == 1) {
        switch (code) {
        case 0: return u"正常"_s;
        case 1: return u"停班"_s;
        default: break;
        }
    } else if (kind == 2) {
        switch (code) {
        case 1: return u"季检"_s;
        case 2: return u"年检"_s;
        case 3: return u"春检"_s;
        case 4: return u"临检"_s;
        default: break;
        }
    }
    return QString();
}

} // namespace cg
