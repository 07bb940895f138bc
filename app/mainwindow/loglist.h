#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>

class QStyleOptionViewItem;

// The activity log: one line of text a row, drawn as a list row of the current style. The
// lines sit in one array and only the rows in view are painted, so adding a line costs
// the same whether the log holds ten lines or a hundred thousand (a list widget lays out
// and keeps an object for every row). Screen readers and other accessibility clients see it
// as a list view: a list item per line, the current line selected.
class LogList final : public QAbstractScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogList)

public:
    explicit LogList(QWidget *parent = nullptr);

    void AppendLines(
        const QStringList &lines); // the last one becomes current and is scrolled into view
    void AppendLine(const QString &line);
    void clear();
    int count() const;
    QString Line(int row) const;
    int currentRow() const; // -1 when empty
    void setCurrentRow(int row);
    // Where the row is drawn, in viewport coordinates, and the row drawn at viewport height y
    // (-1 for none).
    QRect visualRect(int row) const;
    int rowAt(int y) const;

signals:
    void linesAppended(int first, int last);
    void currentRowChanged(int row);
    void cleared();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // Row height and text margins come from the style's item-view metrics, as a list's do.
    void Measure();
    int WidthOf(const QString &line) const;
    void UpdateScrollBars();
    void ScrollToRow(int row);
    // Rows that fit whole in the viewport; the vertical scroll bar counts rows.
    int FullRows() const;
    void InitRowOption(QStyleOptionViewItem &option) const;
    // Tells accessibility clients, if any, that the current line moved from `previous`.
    void AnnounceCurrent(int previous);

    QStringList m_lines;
    int m_current = -1;
    int m_rowHeight = 1;
    int m_textMargin = 0;
    int m_widest = 0; // the widest line with its margins, for the horizontal scroll bar
};
