#pragma once
// Makes a file impossible to delete or replace for the life of the object:
// its folder read-only, and as root (where permissions do not hold) the
// file immutable. Holds() says whether that worked here.
#include <QFile>
#include <QString>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace dh::test {

class Undeletable {
public:
    Undeletable(const QString &folder, const QString &file) : m_folder(folder), m_file(file) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
#ifdef Q_OS_LINUX
        if (geteuid() == 0) {
            const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
            int flags = 0;
            if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags |= FS_IMMUTABLE_FL;
                m_immutable = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
            }
            if (fd >= 0)
                ::close(fd);
        }
#endif
    }
    ~Undeletable() {
#ifdef Q_OS_LINUX
        if (m_immutable) {
            const int fd = ::open(QFile::encodeName(m_file).constData(), O_RDONLY);
            int flags = 0;
            if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0)
                ::close(fd);
        }
#endif
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool Holds() const {
#ifdef Q_OS_LINUX
        return geteuid() != 0 || m_immutable;
#else
        return true;
#endif
    }

private:
    QString m_folder;
    QString m_file;
    bool m_immutable = false;
};

} // namespace dh::test
