#include "report/chart_library.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QRegularExpression>

#ifndef VELMAR_DYGRAPHS_DIR
#define VELMAR_DYGRAPHS_DIR "/usr/share/javascript/dygraphs"
#endif

namespace {

const char *const script_file = "dygraph.min.js";
const char *const style_file = "dygraph.min.css";

bool read_file(const QString &path, QByteArray *text, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = Chart_library::tr("cannot read %1: %2 (the libjs-dygraphs package installs it)")
                     .arg(path, file.errorString());
        return false;
    }
    *text = file.readAll();
    return true;
}

// A source map comment would have a browser's tools fetch a file beside the page.
QByteArray without_source_map(QByteArray text)
{
    static const QRegularExpression map(QStringLiteral("\\n?(//|/\\*)# sourceMappingURL=[^\\n]*"));
    return QString::fromUtf8(text).remove(map).toUtf8();
}

} // namespace

QString Chart_library::directory()
{
    const QString from_environment = qEnvironmentVariable("VELMAR_DYGRAPHS_DIR");
    return from_environment.isEmpty() ? QStringLiteral(VELMAR_DYGRAPHS_DIR) : from_environment;
}

bool Chart_library::load(const QString &directory, QString *error)
{
    const QDir dir(directory);
    if (!read_file(dir.filePath(QLatin1String(script_file)), &script_text, error) ||
        !read_file(dir.filePath(QLatin1String(style_file)), &style_text, error))
        return false;
    script_text = without_source_map(script_text);
    style_text = without_source_map(style_text);
    // Inlined, the script must not end the element that holds it.
    if (script_text.contains("</script") || style_text.contains("</style")) {
        *error = tr("%1 cannot be inlined into a page").arg(directory);
        return false;
    }
    return true;
}
