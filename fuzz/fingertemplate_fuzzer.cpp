// Fingerprint template text, as it comes back from the driver table. Every
// text decodes without fault; an accepted one holds minutiae inside the
// reader's space, and encoding it and decoding again gives the same
// template. A refused text decodes to the empty template.

#include "fuzzsupport.h"

#include "services/fingerprint/fingertemplate.h"

using namespace cg;
using cgfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return -1;
    const QString text = cgfuzz::inputText(data, size);
    bool ok = false;
    const FingerTemplate t = DecodeFingerTemplate(text, &ok);
    if (!ok) {
        check(t.isEmpty(), "a refused text decodes to the empty template", text);
        return 0;
    }
    check(t.minutiae.size() <= MaxTemplateMinutiae, "at most 255 minutiae", text);
    for (const Minutia &m : t.minutiae) {
        check(m.x >= 0 && m.x < FingerSpace && m.y >= 0 && m.y < FingerSpace, "minutiae lie in the space", text);
        check(m.direction >= 0 && m.direction <= 255, "directions are one byte", text);
        check(m.type == Minutia::Ending || m.type == Minutia::Bifurcation, "known minutia type", text);
    }
    const QString encoded = EncodeFingerTemplate(t);
    bool okAgain = false;
    const FingerTemplate again = DecodeFingerTemplate(encoded, &okAgain);
    check(okAgain, "re-encoded text is accepted", text + QStringLiteral("\n=> ") + encoded);
    check(again == t, "decode(encode(t)) == t", text + QStringLiteral("\n=> ") + encoded);
    check(EncodeFingerTemplate(again) == encoded, "encoding is canonical", encoded);
    // Padding blanks, as a fixed-width column returns the text, change nothing.
    bool okPadded = false;
    const FingerTemplate padded = DecodeFingerTemplate(QStringLiteral("  ") + encoded + QStringLiteral("   "),
                                                       &okPadded);
    check(okPadded && padded == t, "surrounding blanks are ignored", encoded);
    return 0;
}
