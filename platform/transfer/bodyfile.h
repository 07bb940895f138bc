#pragma once

#include "transfer.h"

#include <QString>

// The file a request's body goes into, held by a descriptor of the transfer's own from Start
// on: a request's file is never opened by name again, whatever a folder others can write
// holds at that name by then.
namespace bodyfile {

// The transfer's own descriptor for the request's file (a duplicate of the caller's, or the
// named file opened without following a symbolic link), or -1 with `error` set. Without a
// file, -1 and no error.
int Take(const Transfer::Request &request, QString &error);
// Closes what Take gave, if anything.
void Release(int descriptor);
// Empties the file and goes back to its start (only a regular file can be emptied).
bool Empty(int descriptor, QString &error);
// Writes all of it, going on after an interruption or a short write.
bool Write(int descriptor, const char *data, qint64 size, QString &error);

// What a body larger than `maxBytes` fails with; `text` is that limit as the user wrote it.
Transfer::Result TooLarge(qint64 maxBytes, const QString &text);

} // namespace bodyfile
