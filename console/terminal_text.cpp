#include "console/terminal_text.h"

namespace {

constexpr char16_t last_c0 = 0x1f;
constexpr char16_t del = 0x7f;
constexpr char16_t first_c1 = 0x80;
constexpr char16_t last_c1 = 0x9f;

bool is_control(char16_t unit)
{
    return unit <= last_c0 || unit == del || (unit >= first_c1 && unit <= last_c1);
}

QString hex(uint value, int digits)
{
    return QString::number(value, 16).rightJustified(digits, QLatin1Char('0'));
}

} // namespace

QString Terminal_text::escaped(const QString &text)
{
    if (!needs_escaping(text))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t unit = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
        } else if (unit <= last_c0 || unit == del) {
            out += QStringLiteral("\\x") + hex(unit, 2);
        } else if (is_control(unit) || c.isSurrogate()) {
            out += QStringLiteral("\\u") + hex(unit, 4);
        } else {
            out += c;
        }
    }
    return out;
}

bool Terminal_text::needs_escaping(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (is_control(c.unicode()))
            return true;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}
