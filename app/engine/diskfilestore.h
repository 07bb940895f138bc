#pragma once

#include "runports.h"

#include <QHash>

// The real file system. Whole files are written through a temporary file in the
// destination folder that replaces the path only once complete, so a failed download
// never leaves a partial file and an overwrite never leaves old bytes behind. Each temporary
// file is held open from its creation to its move or removal, and everything done to it goes
// through that descriptor: a name swapped for a symbolic link in a folder others may write to
// is never followed.
class DiskFileStore final : public FileStore
{
public:
    DiskFileStore() = default;
    ~DiskFileStore() override;
    Q_DISABLE_COPY_MOVE(DiskFileStore)

    bool FileExists(const QString &path) const override;
    [[nodiscard]] bool WriteWhole(const QString &path, const QByteArray &bytes,
                                  QString &error) override;
    [[nodiscard]] bool WriteRecord(const QString &path, const QString &text,
                                   QString &error) override;
    [[nodiscard]] bool AppendRecord(const QString &path, const QString &text,
                                    QString &error) override;
    QString CreateTemporaryBeside(const QString &path, QString &error) override;
    // The same, and `announce` hears each name before its file is made; a name it refuses
    // ends the attempt with nothing made and an empty result.
    QString CreateTemporaryBeside(const QString &path, QString &error,
                                  const std::function<bool(const QString &name)> &announce);
    int TemporaryDescriptor(const QString &temporary) const override;
    [[nodiscard]] Moved MoveOnto(const QString &temporary, const QString &path, bool replace,
                                 QString &error) override;
    // MoveOnto, except that a temporary file not moved is left for the caller to remove.
    [[nodiscard]] Moved MoveKeeping(const QString &temporary, const QString &path, bool replace,
                                    QString &error);
    // Writes the temporary file's data to the disk; false with errno set.
    [[nodiscard]] bool SyncTemporary(const QString &temporary);
    void RemoveTemporary(const QString &temporary) override;

    // A name for a temporary file in the folder, as CreateTemporaryBeside makes them: hidden,
    // ".lh-", 16 hexadecimal digits, ".part". Nothing is created.
    static QString NewTemporaryName(const QString &folder);
    static bool IsTemporaryName(const QString &fileName);
    // True while a store, in this process or another, holds the temporary file: it is no
    // leftover of a run that ended.
    static bool IsHeld(const QString &temporary);
    // The file records are appended to, open for that; -1, and why, when it cannot be.
    static int OpenForRecords(const QString &path, QString &error);

private:
    QHash<QString, int> m_held; // temporary file to the descriptor it was made with
};
