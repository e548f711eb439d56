#include "exporter/port_pattern.h"

#include "session/port_url.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

namespace {

bool has_wildcard(const QString &part)
{
    return part.contains(QLatin1Char('*')) || part.contains(QLatin1Char('?')) ||
           part.contains(QLatin1Char('['));
}

QString absolute_path(const QString &text)
{
    // A terminal server's port is named as given, and its wildcards are
    // no wildcards: a URL names one port.
    if (Port_url::is_url(text))
        return text;
    if (text.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(text);
    if (!text.contains(QLatin1Char('/')))
        return QStringLiteral("/dev/") + text;
    return QDir::cleanPath(QDir::current().absoluteFilePath(text));
}

// The entries of every folder in `folders` whose name matches `part`.
QStringList expand(const QStringList &folders, const QString &part)
{
    QStringList found;
    // System: device files and links to them; no Hidden, as in the shell.
    const QDir::Filters filters =
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::CaseSensitive;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        const QStringList names = dir.entryList({part}, filters, QDir::Name);
        for (const QString &name : names)
            found.append(dir.filePath(name));
    }
    return found;
}

} // namespace

Port_pattern::Port_pattern(const QString &text, const QString &unit)
    : absolute(absolute_path(text)), unit_name(unit),
      glob(!Port_url::is_url(text) && has_wildcard(absolute))
{
}

QStringList Port_pattern::matches() const
{
    if (!glob)
        return {absolute};
    QStringList paths{QStringLiteral("/")};
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (has_wildcard(part)) {
            paths = expand(paths, part);
        } else {
            for (QString &path : paths)
                path = QDir(path).filePath(part);
        }
        if (paths.isEmpty())
            break;
    }
    QStringList existing;
    for (const QString &path : paths) {
        if (QFileInfo::exists(path))
            existing.append(path);
    }
    existing.sort();
    return existing;
}
