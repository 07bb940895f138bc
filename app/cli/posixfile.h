#pragma once

#include <QByteArray>
#include <QString>

// Writing to a file descriptor as the journal and the shared records need it.
namespace posixfile {

// Writes every byte, again after an interruption or a short write; false with errno set when
// the file refuses.
bool WriteAll(int fd, const QByteArray &bytes);
// The text of errno.
QString SystemError();

} // namespace posixfile
