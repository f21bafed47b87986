#include "fingertemplate.h"

#include <QByteArray>
#include <QLatin1StringView>

namespace cg {

namespace {

const QLatin1StringView Prefix("CGF1:");

quint16 crcOf(const QByteArray &bytes)
{
    return qChecksum(QByteArrayView(bytes), Qt::ChecksumIso3309);
}

} // namespace

QString EncodeFingerTemplate(const FingerTemplate &t)
{
    const qsizetype n = qMin<qsizetype>(t.minutiae.size(), MaxTemplateMinutiae);
    QByteArray bytes;
    bytes.reserve(1 + 4 * n + 2);
    bytes.append(char(n));
    for (qsizetype i = 0; i < n; ++i) {
        const Minutia &m = t.minutiae[i];
        const quint32 word = (quint32(qBound(0, m.x, FingerSpace - 1)) << 21)
                             | (quint32(qBound(0, m.y, FingerSpace - 1)) << 10)
                             | (quint32(m.type & 3) << 8)
                             | quint32(m.direction & 0xff);
        bytes.append(char(word >> 24));
        bytes.append(char(word >> 16));
        bytes.append(char(word >> 8));
        bytes.append(char(word));
    }
    const quint16 crc = crcOf(bytes);
    bytes.append(char(crc >> 8));
    bytes.append(char(crc));
    return Prefix + QString::fromLatin1(bytes.toBase64());
}

FingerTemplate DecodeFingerTemplate(const QString &text, bool *ok)
{
    const QString trimmed = text.trimmed();
    if (ok)
        *ok = trimmed.isEmpty();
    if (trimmed.isEmpty() || !trimmed.startsWith(Prefix))
        return {};

    const QStringView body = QStringView(trimmed).mid(Prefix.size());
    for (QChar c : body) {
        if (c.unicode() > 0x7f)
            return {};
    }
    const auto decoded = QByteArray::fromBase64Encoding(body.toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QByteArray &bytes = *decoded;
    if (bytes.size() < 3)
        return {};
    const int n = quint8(bytes[0]);
    if (bytes.size() != 1 + 4 * n + 2)
        return {};
    const quint16 stored = quint16((quint8(bytes[bytes.size() - 2]) << 8) | quint8(bytes[bytes.size() - 1]));
    if (crcOf(bytes.left(bytes.size() - 2)) != stored)
        return {};

    FingerTemplate t;
    t.minutiae.reserve(n);
    for (int i = 0; i < n; ++i) {
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData()) + 1 + 4 * i;
        const quint32 word = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
        Minutia m;
        m.x = int(word >> 21);
        m.y = int((word >> 10) & 0x7ff);
        const quint32 type = (word >> 8) & 3;
        m.direction = int(word & 0xff);
        if (m.x >= FingerSpace || m.y >= FingerSpace || type > Minutia::Bifurcation)
            return {};
        m.type = Minutia::Type(type);
        t.minutiae.append(m);
    }
    if (ok)
        *ok = true;
    return t;
}

} // namespace cg
