#include "loglist.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>

namespace {

// One line of the log, as a list view's row looks to accessibility clients. Made when a
// client first asks for the row; the list's interface keeps it, so a line keeps one identity.
class LogLineAccessible final : public QAccessibleInterface, public QAccessibleTableCellInterface
{
    Q_DISABLE_COPY_MOVE(LogLineAccessible)

public:
    LogLineAccessible(LogList *log, int row) : m_log(log), m_row(row) {}

    LogList *log() const { return m_log; }
    bool isValid() const override { return m_log && m_row < m_log->count(); }
    QObject *object() const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_log);
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        return m_log && t == QAccessible::Name ? m_log->Line(m_row) : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QRect rect() const override;
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TableCellInterface
            ? static_cast<QAccessibleTableCellInterface *>(this)
            : nullptr;
    }

    bool isSelected() const override { return isValid() && m_log->currentRow() == m_row; }
    QList<QAccessibleInterface *> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

private:
    QPointer<LogList> m_log;
    const int m_row;
};

QRect LogLineAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect inView = m_log->visualRect(m_row);
    return QRect(m_log->viewport()->mapToGlobal(inView.topLeft()), inView.size());
}

QAccessible::State LogLineAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    // As a list view reports its rows: the current one is selected and focused.
    state.selectable = true;
    state.focusable = true;
    state.selected = m_log->currentRow() == m_row;
    state.focused = state.selected;
    state.invisible = !m_log->viewport()->rect().intersects(m_log->visualRect(m_row));
    return state;
}

// The log as a list view with one column. Child interfaces are made only for the rows a
// client asks for, so lines added while no client listens cost nothing here.
class LogListAccessible final : public QAccessibleWidget, public QAccessibleTableInterface
{
    Q_DISABLE_COPY_MOVE(LogListAccessible)

public:
    explicit LogListAccessible(LogList *log) : QAccessibleWidget(log, QAccessible::List) {}
    ~LogListAccessible() override { forgetLines(); }

    LogList *log() const { return static_cast<LogList *>(widget()); }

    int childCount() const override { return log()->count(); }
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TableInterface ? static_cast<QAccessibleTableInterface *>(this)
                                                   : QAccessibleWidget::interface_cast(type);
    }

    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        return column == 0 ? child(row) : nullptr;
    }
    int selectedCellCount() const override { return log()->currentRow() >= 0 ? 1 : 0; }
    QList<QAccessibleInterface *> selectedCells() const override;
    QString columnDescription(int) const override { return {}; }
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return selectedCellCount(); }
    int columnCount() const override { return 1; }
    int rowCount() const override { return childCount(); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override { return row >= 0 && row == log()->currentRow(); }
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *event) override;

private:
    void forgetLines();

    mutable QHash<int, QAccessible::Id> m_lines; // the rows clients have asked for
};

QAccessibleInterface *LogListAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    if (const QAccessible::Id id = m_lines.value(index))
        return QAccessible::accessibleInterface(id);
    auto *line = new LogLineAccessible(log(), index);
    m_lines.insert(index, QAccessible::registerAccessibleInterface(line));
    return line;
}

int LogListAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const auto *line = dynamic_cast<const LogLineAccessible *>(child);
    return line && line->log() == log() && line->isValid() ? line->rowIndex() : -1;
}

QAccessibleInterface *LogListAccessible::childAt(int x, int y) const
{
    const QPoint at = log()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!log()->viewport()->rect().contains(at))
        return nullptr;
    return child(log()->rowAt(at.y()));
}

QAccessibleInterface *LogListAccessible::focusChild() const
{
    // As a list view answers: its current row, whether or not the view has the focus.
    return child(log()->currentRow());
}

QList<QAccessibleInterface *> LogListAccessible::selectedCells() const
{
    if (QAccessibleInterface *current = child(log()->currentRow()))
        return {current};
    return {};
}

QList<int> LogListAccessible::selectedRows() const
{
    if (log()->currentRow() >= 0)
        return {log()->currentRow()};
    return {};
}

bool LogListAccessible::selectRow(int row)
{
    if (row < 0 || row >= log()->count())
        return false;
    log()->setCurrentRow(row);
    return true;
}

void LogListAccessible::modelChange(QAccessibleTableModelChangeEvent *event)
{
    // Lines are only ever added at the end, so a row keeps its line until the log is cleared.
    if (event->modelChangeType() == QAccessibleTableModelChangeEvent::ModelReset)
        forgetLines();
}

void LogListAccessible::forgetLines()
{
    for (const QAccessible::Id id : std::as_const(m_lines))
        QAccessible::deleteAccessibleInterface(id);
    m_lines.clear();
}

void AnnounceRow(LogList *log, QAccessible::Event type, int row)
{
    QAccessibleEvent event(log, type);
    event.setChild(row);
    QAccessible::updateAccessibility(&event);
}

QAccessibleInterface *AccessibleLog(const QString &className, QObject *object)
{
    if (className == QLatin1String(LogList::staticMetaObject.className()) && object
        && object->isWidgetType())
        return new LogListAccessible(static_cast<LogList *>(object));
    return nullptr;
}

} // namespace

LogList::LogList(QWidget *parent) : QAbstractScrollArea(parent)
{
    QAccessible::installFactory(&AccessibleLog);
    setFocusPolicy(Qt::StrongFocus);
    Measure();
    UpdateScrollBars();
}

void LogList::AppendLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    const int first = count();
    m_lines.append(lines);
    for (const QString &line : lines)
        m_widest = std::max(m_widest, WidthOf(line));
    UpdateScrollBars();
    viewport()->update();
    emit linesAppended(first, count() - 1);
    if (QAccessible::isActive()) {
        QAccessibleTableModelChangeEvent event(this,
                                               QAccessibleTableModelChangeEvent::RowsInserted);
        event.setFirstRow(first);
        event.setLastRow(count() - 1);
        QAccessible::updateAccessibility(&event);
    }
    setCurrentRow(count() - 1);
}

void LogList::AppendLine(const QString &line)
{
    AppendLines(QStringList{line});
}

void LogList::clear()
{
    const bool hadCurrent = m_current >= 0;
    // A list view drops its selection while the row is still there, then resets.
    if (hadCurrent && QAccessible::isActive())
        AnnounceRow(this, QAccessible::SelectionRemove, m_current);
    m_lines.clear();
    m_current = -1;
    m_widest = 0;
    UpdateScrollBars();
    viewport()->update();
    if (hadCurrent)
        emit currentRowChanged(-1);
    emit cleared();
    if (QAccessible::isActive()) {
        QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&event);
    }
}

int LogList::count() const
{
    return static_cast<int>(m_lines.size());
}

QString LogList::Line(int row) const
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
        ScrollToRow(row);
    if (row == m_current)
        return;
    const int previous = m_current;
    m_current = row;
    viewport()->update();
    emit currentRowChanged(row);
    AnnounceCurrent(previous);
}

void LogList::AnnounceCurrent(int previous)
{
    if (!QAccessible::isActive())
        return;
    // The events a list view sends when its single selection moves. It sends the focus event
    // also while another control has the focus, so a new line is read out during a run.
    if (m_current >= 0)
        AnnounceRow(this, QAccessible::SelectionAdd, m_current);
    if (previous >= 0)
        AnnounceRow(this, QAccessible::SelectionRemove, previous);
    if (m_current >= 0)
        AnnounceRow(this, QAccessible::Focus, m_current);
}

void LogList::InitRowOption(QStyleOptionViewItem &option) const
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

void LogList::Measure()
{
    QStyleOptionViewItem option;
    InitRowOption(option);
    option.text = QStringLiteral("X");
    m_rowHeight = std::max(
        1, style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height());
    m_textMargin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, this) + 1;
    m_widest = 0;
    for (const QString &line : std::as_const(m_lines))
        m_widest = std::max(m_widest, WidthOf(line));
}

int LogList::WidthOf(const QString &line) const
{
    return fontMetrics().horizontalAdvance(line) + 2 * m_textMargin;
}

int LogList::FullRows() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

void LogList::UpdateScrollBars()
{
    const int rows = FullRows();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setSingleStep(1);
    vertical->setPageStep(rows);
    vertical->setRange(0, std::max(0, count() - rows));
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setSingleStep(m_rowHeight);
    horizontal->setPageStep(viewport()->width());
    horizontal->setRange(0, std::max(0, m_widest - viewport()->width()));
}

void LogList::ScrollToRow(int row)
{
    QScrollBar *vertical = verticalScrollBar();
    const int rows = FullRows();
    if (row < vertical->value())
        vertical->setValue(row);
    else if (row >= vertical->value() + rows)
        vertical->setValue(row - rows + 1);
}

QRect LogList::visualRect(int row) const
{
    return QRect(-horizontalScrollBar()->value(),
                 (row - verticalScrollBar()->value()) * m_rowHeight,
                 std::max(viewport()->width(), m_widest), m_rowHeight);
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
    InitRowOption(option);
    const QStyle::State state = option.state;
    const int top = verticalScrollBar()->value();
    const int first = top + std::max(0, event->rect().top()) / m_rowHeight;
    const int last = std::min(count() - 1, top + event->rect().bottom() / m_rowHeight);
    for (int row = first; row <= last; ++row) {
        option.rect = visualRect(row);
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
    UpdateScrollBars();
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
    const int page = std::max(1, FullRows() - 1);
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
        Measure();
        UpdateScrollBars();
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
