#pragma once
// Text from QML into the 8-bit strings kept inside (UTF-8, as
// QString::toStdString gives it), for the items and the controller's slots.
#include <QString>

#include <string>

// out = text.toStdString(), without allocating for an ASCII text that fits
// the storage out already has: the frame and the sync bindings narrow the
// same short names every frame. One pass narrows every code unit and only
// then looks at their bits together, so the loop has no branch; a text
// beyond ASCII goes the long way. Inline, since the sync slot pays for a
// call per binding and frame.
inline void assignText(std::string& out, const QString& text)
{
    const int n = text.size();
    out.resize(size_t(n));
    const ushort* in = text.utf16();
    char* narrow = &out[0];
    ushort all = 0;
    for (int i = 0; i < n; ++i) {
        all |= in[i];
        narrow[i] = char(in[i]);
    }
    if (all >= 0x80)
        out = text.toStdString();
}
