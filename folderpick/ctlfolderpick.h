#pragma once

#include "dispatch.h"

#include <QString>

// The picker control. It holds no state of its own: each method shows a fresh modal
// dialog and returns what the dialog left in basMain::ReturnValue().
class ctlFolderpick final : public component::DispatchObject
{
public:
    ctlFolderpick() = default;

    // The chosen folder, or "" when the dialog was cancelled or closed.
    QString ShowBrowseFolder(const QString &Title);
    // The chosen files joined by ";", or "".
    QString ShowBrowseFile(const QString &Title, const QString &Pattern);

    component::InvokeResult Invoke(std::int32_t dispId, const QVariantList &args) override;

protected:
    ~ctlFolderpick() override = default;
};
