#include "core/EscapeControls.h"

namespace {

void AppendEscaped(QByteArray &out, const char *bytes, qsizetype count)
{
    static const char digits[] = "0123456789abcdef";
    for (qsizetype k = 0; k < count; ++k) {
        const auto byte = static_cast<unsigned char>(bytes[k]);
        out += "\\x";
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
}

// The length of the valid UTF-8 sequence starting at text[0] (at least 2 bytes long), or 0.
qsizetype SequenceLength(const unsigned char *text, qsizetype available, char32_t &codePoint)
{
    const unsigned char lead = text[0];
    qsizetype length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, codePoint = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, codePoint = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, codePoint = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (available < length)
        return 0;
    for (qsizetype k = 1; k < length; ++k) {
        if ((text[k] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (text[k] & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return codePoint < minimum || codePoint > 0x10FFFF || surrogate ? 0 : length;
}

} // namespace

QByteArray EscapeControls(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    const auto *text = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qsizetype k = 0; k < bytes.size();) {
        const unsigned char byte = text[k];
        if (byte < 0x80) {
            const bool control = (byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F;
            if (control)
                AppendEscaped(out, bytes.constData() + k, 1);
            else
                out += static_cast<char>(byte);
            ++k;
            continue;
        }
        char32_t codePoint = 0;
        const qsizetype length = SequenceLength(text + k, bytes.size() - k, codePoint);
        if (length == 0) {
            AppendEscaped(out, bytes.constData() + k, 1);
            ++k;
        } else if (codePoint >= 0x80 && codePoint <= 0x9F) {
            AppendEscaped(out, bytes.constData() + k, length);
            k += length;
        } else {
            out.append(bytes.constData() + k, length);
            k += length;
        }
    }
    return out;
}
