#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace cg {

// One ridge feature of a fingerprint: where it lies in the reader's fixed
// coordinate space, which way its ridge runs, and whether the ridge ends
// there or forks.
struct Minutia {
    enum Type : quint8 { Ending = 0, Bifurcation = 1 };

    int x = 0;        // 0 .. FingerSpace - 1
    int y = 0;        // 0 .. FingerSpace - 1
    int direction = 0; // 0 .. 255, a full turn in 256 steps, counter-clockwise from +x
    Type type = Ending;

    friend bool operator==(const Minutia &, const Minutia &) = default;
};

// Side of the square coordinate space every template is expressed in
// (about two units per sensor pixel). A print is some 300 units wide.
constexpr int FingerSpace = 640;
constexpr int NominalPrintWidth = 300;
constexpr int MaxTemplateMinutiae = 255;

// A matching template: the minutiae of one finger press (or of several
// presses merged by enrolment). An empty template matches nothing.
struct FingerTemplate {
    QList<Minutia> minutiae;

    bool isEmpty() const { return minutiae.isEmpty(); }
    friend bool operator==(const FingerTemplate &, const FingerTemplate &) = default;
};

// Template text: "CGF1:" followed by the standard base64 form of
//   byte 0           number of minutiae n (0 .. 255)
//   bytes 1 .. 4n    per minutia a big-endian 32-bit word:
//                    x (11 bits) | y (11 bits) | type (2 bits) | direction (8 bits)
//   last 2 bytes     CRC-16 (ISO 3309) of everything before, big-endian
// The prefix carries the format version. Text without any minutiae is the
// encoding of an empty template; the empty string also stands for "no
// template" (a driver who never enrolled).
QString EncodeFingerTemplate(const FingerTemplate &t);

// Decodes template text. Surrounding blanks are ignored (databases may pad
// the column). Anything malformed - wrong prefix or version, bad base64,
// wrong length, checksum mismatch, coordinates outside the space - gives an
// empty template; *ok (when given) tells a malformed text from a genuinely
// empty one.
FingerTemplate DecodeFingerTemplate(const QString &text, bool *ok = nullptr);

} // namespace cg
