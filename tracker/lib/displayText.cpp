#include "tracker/lib/displayText.h"

namespace tracker {

namespace {

// Length of the valid UTF-8 sequence at p (1..4), or 0 when it is not one.
int utf8Length(const unsigned char* p, size_t left)
{
    const unsigned char c = p[0];
    int n;
    uint32_t min;
    if (c < 0x80)
        return 1;
    if ((c & 0xe0) == 0xc0) {
        n = 2;
        min = 0x80;
    } else if ((c & 0xf0) == 0xe0) {
        n = 3;
        min = 0x800;
    } else if ((c & 0xf8) == 0xf0) {
        n = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < size_t(n))
        return 0;
    uint32_t cp = c & (0x7f >> n);
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xc0) != 0x80)
            return 0;
        cp = cp << 6 | (p[i] & 0x3f);
    }
    if (cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return 0;
    return n;
}

} // namespace

QString displayName(const std::string& bytes, int maxChars)
{
    QString out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    int chars = 0;
    while (i < bytes.size()) {
        if (chars >= maxChars) {
            out += QChar(0x2026);
            break;
        }
        const int n = utf8Length(p + i, bytes.size() - i);
        const bool control = n == 1 && (p[i] < 0x20 || p[i] == 0x7f);
        // C1 controls and the bidi overrides could scramble the drawing too.
        const QString piece = n > 0 ? QString::fromUtf8(bytes.data() + i, n) : QString();
        const bool invisible = n > 1 && (piece.at(0).category() == QChar::Other_Control
                                         || piece.at(0).category() == QChar::Other_Format);
        if (n == 0 || control || invisible) {
            const int len = n > 0 ? n : 1;
            for (int k = 0; k < len; ++k)
                out += QStringLiteral("\\x%1").arg(p[i + size_t(k)], 2, 16, QLatin1Char('0'));
            i += size_t(len);
        } else {
            out += piece;
            i += size_t(n);
        }
        ++chars;
    }
    return out;
}

} // namespace tracker
