#pragma once

#include "runports.h"

// The real file system. Whole files are written through a temporary file in the
// destination folder that replaces the path only once complete, so a failed download
// never leaves a partial file and an overwrite never leaves old bytes behind.
class DiskFileStore final : public FileStore
{
public:
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
    [[nodiscard]] bool ReplaceWith(const QString &temporary, const QString &path,
                                   QString &error) override;
    void RemoveTemporary(const QString &temporary) override;

    // A name for a temporary file in the folder, as CreateTemporaryBeside makes them: hidden,
    // ".lh-", 16 hexadecimal digits, ".part". Nothing is created.
    static QString NewTemporaryName(const QString &folder);
    static bool IsTemporaryName(const QString &fileName);
};
