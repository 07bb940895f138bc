#pragma once

#include <QListWidget>
#include <QString>

// The file list: the names of the files in Path that match Pattern (one or more
// wildcard patterns separated by ";"), sorted by name, with extended multiple
// selection. Raises Click when the user clicks or moves the focus entry.
class FileListBox final : public QListWidget
{
    Q_OBJECT

public:
    // Starts on the process's current directory with the pattern "*.*".
    explicit FileListBox(QWidget *parent = nullptr);

    const QString &Path() const { return m_path; }
    // False when path is no folder or cannot be read: the list stays as it was.
    bool SetPath(const QString &path);
    const QString &Pattern() const { return m_pattern; }
    // Lists the current folder again under the new pattern.
    void SetPattern(const QString &pattern);

    int ListCount() const { return count(); }
    // The file name of entry index, without its folder; "" when there is no such entry.
    QString List(int index) const;
    bool Selected(int index) const;
    void SetSelected(int index, bool selected);
    // The entry with the focus, -1 for none.
    int ListIndex() const { return currentRow(); }

signals:
    void Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool Fill(const QString &folder);
    void Item_Clicked(QListWidgetItem *item);

    QString m_path;
    QString m_pattern;
};
