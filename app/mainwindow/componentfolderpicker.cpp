#include "componentfolderpicker.h"

#include "folderpickids.h"

#include <QLoggingCategory>

ComponentFolderPicker::ComponentFolderPicker(const QString &probeFolder)
{
    component::CreateResult created = component::CreateObject(
        Guid::FromText(folderpick::kClassId), folderpick::kLibraryFile.toString(), probeFolder);
    m_control = std::move(created.object);
    m_error = created.error;
    if (!m_control)
        qWarning("Folderpick is not available: %s", qUtf8Printable(m_error));
}

std::optional<QString> ComponentFolderPicker::ShowBrowseFolder(const QString &title)
{
    if (!m_control)
        return std::nullopt;
    const component::InvokeResult result = m_control->Invoke(folderpick::kDispShowBrowseFolder,
                                                             {title});
    if (!result.Ok()) {
        m_error = result.error;
        qWarning("Folderpick failed: %s", qUtf8Printable(m_error));
        return std::nullopt;
    }
    return result.value.toString();
}
