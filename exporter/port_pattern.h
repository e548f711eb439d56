#ifndef VELMAR_EXPORTER_PORT_PATTERN_H
#define VELMAR_EXPORTER_PORT_PATTERN_H

#include <QtCore/QString>
#include <QtCore/QStringList>

// A port as the operator names it: a path, or a glob pattern such as
// /dev/serial/by-id/usb-* that adapters plugged in later also match. The
// wildcards are *, ? and [...], in any part of the path, and as in the shell
// they do not match a leading dot. A terminal server's port
// (rfc2217://HOST:PORT, socket://HOST:PORT) is a port of its own, never a
// pattern.
class Port_pattern
{
public:
    // A name without a slash is a device under /dev ("ttyUSB0"), as the
    // system lists ports; a relative path is taken from the working folder.
    explicit Port_pattern(const QString &text, const QString &unit = QString());

    QString text() const { return absolute; }
    // The name the configuration gives the units found here; may be empty.
    QString unit() const { return unit_name; }
    bool is_glob() const { return glob; }

    // The paths that exist now and match, sorted. A plain path is its own
    // only match, whether or not it exists: it is watched from the start.
    QStringList matches() const;

private:
    QString absolute;
    QString unit_name;
    bool glob = false;
};

#endif
