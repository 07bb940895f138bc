#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

// The directory list: the open folder as a small tree, its ancestors from the root
// down, the open folder itself, then its subfolders sorted by name.
// Entries are addressed by index: the open folder is -1, its parent -2 and so on up
// to the root; the subfolders are 0 to ListCount() - 1.
// A click highlights an entry and raises Click; a double click (or Enter) opens it
// and raises Change, as does a successful SetPath.
class DirListBox final : public QListWidget
{
    Q_OBJECT

public:
    // Starts on the process's current directory.
    explicit DirListBox(QWidget *parent = nullptr);

    const QString &Path() const { return m_path; }
    // Opens path. False when it is no folder or cannot be read: the list then stays
    // on the folder it showed.
    bool SetPath(const QString &path);

    // The highlighted entry; -1 right after a folder has been opened.
    int ListIndex() const;
    void SetListIndex(int index);
    // The full path of entry index; "" when there is no such entry.
    QString List(int index) const;
    int ListCount() const;
    // Opens entry index, as a double click does.
    bool OpenIndex(int index);

signals:
    void Click();
    void Change();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    int RowOf(int index) const { return index + m_openRow + 1; }
    void Item_Clicked(QListWidgetItem *item);
    void Item_DoubleClicked(QListWidgetItem *item);

    QString m_path;
    QStringList m_rowPaths; // full path of each row
    int m_openRow = 0;
};
