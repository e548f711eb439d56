#include "session/device_claim.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
constexpr mode_t anyone_may_claim = 0666;
constexpr int holder_bytes = 256;

// The kernel files most devices under a class: a serial line under tty,
// /dev/null under mem. One of another class is no serial line (Qt refuses
// it), and nobody's to claim; pseudo-terminals are filed under none.
bool may_be_serial_line(quint64 device)
{
    const auto number = static_cast<dev_t>(device);
    const QString subsystem =
        QFileInfo(
            QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(major(number)).arg(minor(number)))
            .symLinkTarget();
    return subsystem.isEmpty() || subsystem.endsWith(QLatin1String("/tty"));
}

QString claim_file(quint64 device)
{
    const auto number = static_cast<dev_t>(device);
    return Device_claim::directory() +
           QStringLiteral("/velmar-device-%1-%2.lock").arg(major(number)).arg(minor(number));
}

// Opened without O_CREAT when it exists: the kernel refuses O_CREAT on
// another user's file in a sticky folder such as /run/lock.
int open_claim_file(const QByteArray &file)
{
    constexpr int flags = O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(file.constData(), O_RDWR | flags);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(file.constData(), O_RDWR | O_CREAT | O_EXCL | flags, anyone_may_claim);
        if (fd >= 0)
            ::fchmod(fd, anyone_may_claim); // whatever the umask
        else if (errno == EEXIST)
            fd = ::open(file.constData(), O_RDWR | flags);
    }
    // flock() needs no write access, only the holder's name does.
    if (fd < 0)
        fd = ::open(file.constData(), O_RDONLY | flags);
    return fd;
}

QByteArray holder_line()
{
    QString program = QCoreApplication::applicationName();
    if (program.isEmpty())
        program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return program.toUtf8() + ' ' + QByteArray::number(::getpid()) + '\n';
}

QString refusal_from(int fd)
{
    char text[holder_bytes] = {};
    const ssize_t size = ::pread(fd, text, sizeof text - 1, 0);
    const QString line = QString::fromUtf8(text, size > 0 ? int(size) : 0).trimmed();
    const int blank = line.lastIndexOf(QLatin1Char(' '));
    bool numeric = false;
    const qint64 pid = line.mid(blank + 1).toLongLong(&numeric);
    // Read while the holder was still writing its name, or written by
    // something else: the refusal stands, without the name.
    if (blank <= 0 || !numeric)
        return Device_claim::tr("held by another program of this project");
    return Device_claim::tr("held by %1 (pid %2)").arg(line.left(blank)).arg(pid);
}
#endif

} // namespace

Device_claim::~Device_claim()
{
    release();
}

std::optional<quint64> Device_claim::device_number(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISCHR(status.st_mode))
        return std::nullopt;
    return static_cast<quint64>(status.st_rdev);
#else
    Q_UNUSED(path)
    return std::nullopt;
#endif
}

QString Device_claim::directory()
{
#ifdef Q_OS_UNIX
    static const QString shared = QStringLiteral("/run/lock");
    if (::access(QFile::encodeName(shared).constData(), W_OK | X_OK) == 0)
        return shared;
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
#else
    return QDir::tempPath();
#endif
}

bool Device_claim::take(const QString &path)
{
    release();
    refusal_text.clear();
#ifdef Q_OS_UNIX
    const std::optional<quint64> device = device_number(path);
    if (!device || !may_be_serial_line(*device))
        return true;
    const int claim_fd = open_claim_file(QFile::encodeName(claim_file(*device)));
    // Nowhere to keep claims: the device is opened unclaimed, as before.
    if (claim_fd < 0)
        return true;
    if (::flock(claim_fd, LOCK_EX | LOCK_NB) != 0) {
        refusal_text = refusal_from(claim_fd);
        ::close(claim_fd);
        return false;
    }
    fd = claim_fd;
    const QByteArray holder = holder_line();
    if (::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, holder.constData(), static_cast<std::size_t>(holder.size()), 0);
#else
    Q_UNUSED(path)
#endif
    return true;
}

void Device_claim::release()
{
#ifdef Q_OS_UNIX
    if (fd < 0)
        return;
    // The file stays: removing it would let two programs lock two files of
    // the same name, one unlinked.
    (void)!::ftruncate(fd, 0);
    ::close(fd);
    fd = -1;
#endif
}
