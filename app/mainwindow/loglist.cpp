#include "loglist.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>

LogList::LogList(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    measure();
    updateScrollBars();
}

void LogList::appendLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    const int first = count();
    m_lines.append(lines);
    for (const QString &line : lines)
        m_widest = std::max(m_widest, widthOf(line));
    updateScrollBars();
    viewport()->update();
    emit linesAppended(first, count() - 1);
    setCurrentRow(count() - 1);
}

void LogList::appendLine(const QString &line)
{
    appendLines(QStringList{line});
}

void LogList::clear()
{
    const bool hadCurrent = m_current >= 0;
    m_lines.clear();
    m_current = -1;
    m_widest = 0;
    updateScrollBars();
    viewport()->update();
    if (hadCurrent)
        emit currentRowChanged(-1);
    emit cleared();
}

int LogList::count() const
{
    return static_cast<int>(m_lines.size());
}

QString LogList::line(int row) const
{
    return row >= 0 && row < count() ? m_lines.at(row) : QString();
}

int LogList::currentRow() const
{
    return m_current;
}

void LogList::setCurrentRow(int row)
{
    if (row < 0 || row >= count())
        row = -1;
    if (row >= 0)
        scrollToRow(row);
    if (row == m_current)
        return;
    m_current = row;
    viewport()->update();
    emit currentRowChanged(row);
}

void LogList::initRowOption(QStyleOptionViewItem &option) const
{
    // What a list view hands its delegate, so the rows look like a list's rows.
    option.initFrom(this);
    option.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus);
    if (!hasFocus())
        option.state &= ~QStyle::State_Active;
    if (isEnabled())
        option.palette.setCurrentColorGroup(QPalette::Normal);
    option.font = font();
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    option.decorationSize = QSize(icon, icon);
    option.decorationPosition = QStyleOptionViewItem::Left;
    option.decorationAlignment = Qt::AlignCenter;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.textElideMode = Qt::ElideRight;
    option.showDecorationSelected = style()->styleHint(QStyle::SH_ItemView_ShowDecorationSelected,
                                                       nullptr, this);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.locale = locale();
    option.widget = this;
}

void LogList::measure()
{
    QStyleOptionViewItem option;
    initRowOption(option);
    option.text = QStringLiteral("X");
    m_rowHeight = std::max(
        1, style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height());
    m_textMargin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, this) + 1;
    m_widest = 0;
    for (const QString &line : std::as_const(m_lines))
        m_widest = std::max(m_widest, widthOf(line));
}

int LogList::widthOf(const QString &line) const
{
    return fontMetrics().horizontalAdvance(line) + 2 * m_textMargin;
}

int LogList::fullRows() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

void LogList::updateScrollBars()
{
    const int rows = fullRows();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setSingleStep(1);
    vertical->setPageStep(rows);
    vertical->setRange(0, std::max(0, count() - rows));
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setSingleStep(m_rowHeight);
    horizontal->setPageStep(viewport()->width());
    horizontal->setRange(0, std::max(0, m_widest - viewport()->width()));
}

void LogList::scrollToRow(int row)
{
    QScrollBar *vertical = verticalScrollBar();
    const int rows = fullRows();
    if (row < vertical->value())
        vertical->setValue(row);
    else if (row >= vertical->value() + rows)
        vertical->setValue(row - rows + 1);
}

int LogList::rowAt(int y) const
{
    if (y < 0)
        return -1;
    const int row = verticalScrollBar()->value() + y / m_rowHeight;
    return row < count() ? row : -1;
}

void LogList::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initRowOption(option);
    const QStyle::State state = option.state;
    const int top = verticalScrollBar()->value();
    const int first = top + std::max(0, event->rect().top()) / m_rowHeight;
    const int last = std::min(count() - 1, top + event->rect().bottom() / m_rowHeight);
    const int left = -horizontalScrollBar()->value();
    const int width = std::max(viewport()->width(), m_widest);
    for (int row = first; row <= last; ++row) {
        option.rect = QRect(left, (row - top) * m_rowHeight, width, m_rowHeight);
        option.text = m_lines.at(row);
        option.state = state;
        if (row == m_current) {
            option.state |= QStyle::State_Selected;
            if (hasFocus())
                option.state |= QStyle::State_HasFocus;
        }
        style()->drawControl(QStyle::CE_ItemViewItem, &option, &painter, this);
    }
}

void LogList::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    // A view that showed the end keeps showing it, also when a scroll bar that appears
    // takes away a row.
    QScrollBar *vertical = verticalScrollBar();
    const bool atEnd = vertical->value() == vertical->maximum();
    updateScrollBars();
    if (atEnd)
        vertical->setValue(vertical->maximum());
}

void LogList::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        if (m_current >= 0)
            QGuiApplication::clipboard()->setText(m_lines.at(m_current));
        return;
    }
    // A page down makes the bottom row in view current, then moves by as much, as in a list.
    const int page = std::max(1, fullRows() - 1);
    int row = m_current;
    switch (event->key()) {
    case Qt::Key_Up:
        row = std::max(0, m_current - 1);
        break;
    case Qt::Key_Down:
        row = m_current + 1;
        break;
    case Qt::Key_PageUp:
        row = m_current - page;
        break;
    case Qt::Key_PageDown:
        row = m_current + page;
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = count() - 1;
        break;
    case Qt::Key_Left:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        return;
    case Qt::Key_Right:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (count() > 0)
        setCurrentRow(std::clamp(row, 0, count() - 1));
}

void LogList::mousePressEvent(QMouseEvent *event)
{
    // A click below the last line leaves the current line as it is, as in a list.
    if (const int row = rowAt(event->position().toPoint().y()); row >= 0)
        setCurrentRow(row);
}

void LogList::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        mousePressEvent(event);
}

void LogList::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LogList::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void LogList::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
        measure();
        updateScrollBars();
        viewport()->update();
        break;
    case QEvent::ActivationChange:
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
        viewport()->update();
        break;
    default:
        break;
    }
    QAbstractScrollArea::changeEvent(event);
}

void LogList::scrollContentsBy(int, int)
{
    // The vertical scroll bar counts rows, not pixels: paint the rows anew.
    viewport()->update();
}
