#include "filelistbox.h"

#include <QDir>
#include <QKeyEvent>

#include "folderaccess.h"

using namespace Qt::StringLiterals;

FileListBox::FileListBox(QWidget *parent) : QListWidget(parent), m_pattern(u"*.*"_s)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this, &FileListBox::Item_Clicked);
    if (!SetPath(QDir::currentPath()))
        SetPath(u"/"_s);
}

bool FileListBox::SetPath(const QString &path)
{
    return Fill(lists::NormalisedFolder(path));
}

void FileListBox::SetPattern(const QString &pattern)
{
    m_pattern = pattern;
    if (!Fill(m_path))
        clear(); // the folder has gone since; it cannot show anything under any pattern
}

bool FileListBox::Fill(const QString &folder)
{
    const auto files = lists::MatchingFiles(folder, m_pattern);
    if (!files)
        return false;
    clear();
    addItems(*files);
    setCurrentRow(-1);
    m_path = folder;
    return true;
}

QString FileListBox::List(int index) const
{
    const QListWidgetItem *entry = item(index);
    return entry ? entry->text() : QString();
}

bool FileListBox::Selected(int index) const
{
    const QListWidgetItem *entry = item(index);
    return entry && entry->isSelected();
}

void FileListBox::SetSelected(int index, bool selected)
{
    if (QListWidgetItem *entry = item(index))
        entry->setSelected(selected);
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before)
        emit Click();
}

void FileListBox::Item_Clicked(QListWidgetItem *)
{
    emit Click();
}
