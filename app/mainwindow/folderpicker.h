#pragma once

#include <QString>

#include <optional>

// The folder picker the Browse buttons call. Its creation (loading the picker library)
// lives elsewhere; the window only asks.
class FolderPicker
{
public:
    virtual ~FolderPicker() = default;

    // The chosen folder, or the empty text when the user cancels; nothing when the
    // picker library is not available.
    virtual std::optional<QString> ShowBrowseFolder(const QString &title) = 0;
};
