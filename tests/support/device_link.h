#ifndef VELMAR_TESTS_DEVICE_LINK_H
#define VELMAR_TESTS_DEVICE_LINK_H

#include <QtCore/QString>

// Points link at target, replacing whatever link was there in one step, as
// udev keeps /dev/serial/by-id/... pointing at an adapter.
bool point_link(const QString &link, const QString &target);

// How many of this process's descriptors are open on path (a device a link
// may lead to): whether the tool opened it, beside the pseudo-terminal's own.
int descriptors_on(const QString &path);

#endif
