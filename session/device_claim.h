#ifndef VELMAR_SESSION_DEVICE_CLAIM_H
#define VELMAR_SESSION_DEVICE_CLAIM_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <optional>

// One reader per serial device among this project's programs, whatever name
// each of them was given for it. Qt's own lock file is kept by name, so a
// by-id link and the node it leads to pass for two devices there, and two
// readers then split the unit's frames between them.
//
// The claim is a lock on a file named after the device number, in
// directory(): taken with flock(), it is the kernel's to release when the
// holder ends, however it ends, so no claim outlives its program. The file
// says who holds it ("velmar-exporter 4242") for the refusal of the next one.
// What is no serial line (a missing path, a regular file, /dev/null, a
// network port) is nobody's to claim.
class Device_claim
{
    Q_DECLARE_TR_FUNCTIONS(Device_claim)

public:
    Device_claim() = default;
    ~Device_claim();
    Device_claim(const Device_claim &) = delete;
    Device_claim &operator=(const Device_claim &) = delete;

    // The device number of the character device at path, links followed.
    static std::optional<quint64> device_number(const QString &path);
    // /run/lock, where every user may write, or else the user's own runtime
    // folder, which keeps the claims of this user's programs only.
    static QString directory();

    // Lets go of any claim held, then claims the device at path: true when it
    // is held now, or when there is nothing to claim. False when another
    // holds it; refusal() then names the holder.
    bool take(const QString &path);
    void release();
    bool is_held() const { return fd >= 0; }
    // "held by velmar-exporter (pid 4242)"; empty unless the last take failed.
    QString refusal() const { return refusal_text; }

private:
    int fd = -1;
    QString refusal_text;
};

#endif
