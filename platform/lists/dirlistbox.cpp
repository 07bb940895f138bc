#include "dirlistbox.h"

#include <QDir>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include "folderaccess.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kIndentPixels = 10;

// Indents each entry by its depth, so the list reads as a tree.
class IndentDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + Indent(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(Indent(index), 0);
    }

private:
    static int Indent(const QModelIndex &index)
    {
        return index.data(kLevelRole).toInt() * kIndentPixels;
    }
};

// "/", "/a", "/a/b" for "/a/b".
QStringList FoldersDownTo(const QString &folder)
{
    QStringList chain{u"/"_s};
    QString built;
    for (const QString &part : folder.split(u'/', Qt::SkipEmptyParts)) {
        built += u'/' + part;
        chain << built;
    }
    return chain;
}

} // namespace

DirListBox::DirListBox(QWidget *parent) : QListWidget(parent)
{
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this, &DirListBox::Item_Clicked);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirListBox::Item_DoubleClicked);
    if (!SetPath(QDir::currentPath()))
        SetPath(u"/"_s);
}

bool DirListBox::SetPath(const QString &path)
{
    const QString folder = lists::NormalisedFolder(path);
    const auto subfolders = lists::Subfolders(folder);
    if (!subfolders)
        return false;

    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    clear();
    m_rowPaths = FoldersDownTo(folder);
    m_openRow = int(m_rowPaths.size()) - 1;
    for (int row = 0; row <= m_openRow; ++row) {
        const QString &rowPath = m_rowPaths.at(row);
        auto *item = new QListWidgetItem(open, row == 0 ? rowPath : QDir(rowPath).dirName(), this);
        item->setData(kLevelRole, row);
        item->setToolTip(rowPath);
    }
    const QString prefix = folder == u"/"_s ? folder : folder + u'/';
    for (const QString &name : *subfolders) {
        m_rowPaths << prefix + name;
        auto *item = new QListWidgetItem(closed, name, this);
        item->setData(kLevelRole, m_openRow + 1);
        item->setToolTip(m_rowPaths.last());
    }
    m_path = folder;
    setCurrentRow(m_openRow);
    emit Change();
    return true;
}

int DirListBox::ListIndex() const
{
    return currentRow() < 0 ? -1 : currentRow() - m_openRow - 1;
}

void DirListBox::SetListIndex(int index)
{
    const int row = RowOf(index);
    if (row >= 0 && row < count())
        setCurrentRow(row);
}

QString DirListBox::List(int index) const
{
    return m_rowPaths.value(RowOf(index));
}

int DirListBox::ListCount() const
{
    return count() - m_openRow - 1;
}

bool DirListBox::OpenIndex(int index)
{
    const int row = RowOf(index);
    if (row < 0 || row >= m_rowPaths.size())
        return false;
    return SetPath(m_rowPaths.at(row));
}

void DirListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OpenIndex(ListIndex());
        return;
    }
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before)
        emit Click();
}

void DirListBox::Item_Clicked(QListWidgetItem *)
{
    emit Click();
}

void DirListBox::Item_DoubleClicked(QListWidgetItem *item)
{
    OpenIndex(row(item) - m_openRow - 1);
}
