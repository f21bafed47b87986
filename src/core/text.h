#pragma once

#include <QString>

namespace cg {


// Text and parsing helpers. Byte lengths are lengths in the GBK code page,
// where a Chinese character takes two bytes and ASCII one.

// The text before (before = true) or after the first separator; the whole
// text (before) or "" (after) when the separator is absent.
QString SplitAtFirst(const QString &text, bool before, const QString &separator);
// "[" + text + "]"
QString Bracket(const QString &text);
// first + "[" + second + "]"
QString JoinCodeName(const QString &first, const QString &second);
// K001[李四] -> 李四, head = K001. Without "[": the text, head untouched.
QString BracketInner(const QString &text, QString *head = nullptr);
// K001[李四] -> K001, inner = 李四. Without "[": the text, inner = "".
QString BracketHead(const QString &text, QString *inner = nullptr);
// K009 + 1 -> K010; 99 + 1 -> 00 (the digit run never grows); A + 1 -> A.
// The run is counted modulo 10^width at any length; a negative step wraps
// (K000 - 1 -> K999).
QString IncrementTrailingNumber(const QString &code, int step);
// The longest numeric prefix ("12.5kg" -> "12.5") of the trimmed text, cut
// at "." without decimals. A number is an optional leading "-", ASCII digits
// and at most one "." ("-", "." and "-." pass while typing); no "+",
// exponent or thousands separators. Without negatives any text starting
// with "-" gives "".
QString CleanNumericText(const QString &text, bool allowNegative, bool allowDecimal);
// GBK byte length. A character GBK cannot encode counts as its GB18030
// length (4 bytes for an emoji), so it is never lost from the count.
int AnsiByteLength(QStringView text);
// The longest prefix of whole characters whose byte length is at most
// maxBytes; the text unchanged when it fits. Never cuts a character in half
// (a character straddling the limit is dropped); "" for a negative limit.
QString TruncateToBytes(const QString &text, int maxBytes);
// Kind 1 (vehicle status) 0 正常, 1 停班; kind 2 (inspection) 1 季检,
// 2 年检, 3 春检, 4 临检; anything else "".
QString CodeText(int kind, int code);

} // namespace cg
