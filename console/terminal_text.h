#ifndef VELMAR_CONSOLE_TERMINAL_TEXT_H
#define VELMAR_CONSOLE_TERMINAL_TEXT_H

#include <QtCore/QString>

// Text that came from outside (a record, a device name, a path) made safe to
// show on a terminal: a control character could retitle, clear or rewrite
// the screen, or make one line pass for two. C0 controls and DEL are shown
// as \x1b, C1 controls as \u009b, and a lone surrogate (a JSON "\udc80"
// decodes to one, and no terminal encoding can carry it) as \udc80. Bytes
// that were not UTF-8 were already decoded to U+FFFD, which shows as such.
// Everything else, non-Latin scripts included, is left as it is. Meant to be
// read, not read back: a backslash already in the text stays single.
class Terminal_text
{
public:
    static QString escaped(const QString &text);
    // Whether escaped() would change the text.
    static bool needs_escaping(const QString &text);
};

#endif
