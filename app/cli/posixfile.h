#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Writing to a file descriptor as the journal and the shared records need it.
namespace posixfile {

// Writes every byte, again after an interruption or a short write; false with errno set when
// the file refuses.
bool WriteAll(int fd, const QByteArray &bytes);
// Something is at the path, a symbolic link itself included (which is not followed).
bool Exists(const QString &path);
// A plain file is at the path: not a symbolic link, a folder or a device.
bool IsPlainFile(const QString &path);
// Flushes the file's or folder's data (and, for a folder, its entries) to the disk; false with
// errno set when it cannot.
bool Sync(const QString &path);

// The two paths name one file: the same file where both exist, else the same absolute path.
bool SameFile(const QString &a, const QString &b);

// Takes a write lock on the whole file, waiting while another process holds one, for at most
// `waitMs` or until `stopped` says so. A file system that cannot lock (ENOLCK, or a refusal
// with no lock held) is a failure, never a reason to write unlocked. errno tells why.
enum class Locked { Yes, Stopped, Failed };
Locked LockWhole(int fd, int waitMs, const std::function<bool()> &stopped);

// The bytes of the regular file at the path, read without waiting for a named pipe's writer;
// none, with `why` set ("cannot be read: ...", "is not a regular file", "is larger than N
// MiB"), when it is something else or larger than `mostBytes`.
std::optional<QByteArray> ReadRegular(const QString &path, qint64 mostBytes, QString &why);

// The text of errno.
QString SystemError();

} // namespace posixfile
