#pragma once

#include "folderpicker.h"
#include "host.h"

#include <QString>

// bwMain: the Folderpick control, created from its class ID through the component
// registry and called late-bound by dispatch ID. The program never links the library.
class ComponentFolderPicker final : public FolderPicker
{
public:
    // Creates the control; probeFolder is where an unregistered library is looked for
    // (the program's own folder when empty).
    explicit ComponentFolderPicker(const QString &probeFolder = QString());

    std::optional<QString> ShowBrowseFolder(const QString &title) override;

    bool Available() const { return static_cast<bool>(m_control); }
    QString Error() const { return m_error; }

private:
    component::DispatchPtr m_control;
    QString m_error;
};
