#include "console.h"

#include "safetext.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void WriteAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const auto written = ::write(fd, bytes.constData() + done,
                                     static_cast<std::size_t>(bytes.size() - done));
        if (written <= 0)
            return; // a terminal that went away: the line is only a courtesy
        done += written;
    }
}

// A line wider than the terminal would wrap, and a carriage return no longer goes back
// to its start.
int Columns(int fd)
{
    winsize size = {};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return 80;
    return size.ws_col;
}

} // namespace

ProgressLine::ProgressLine(int fd, std::function<QString()> text)
    : m_fd(fd)
    , m_enabled(::isatty(fd) == 1)
    , m_text(std::move(text))
{
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &ProgressLine::Draw);
}

ProgressLine::~ProgressLine()
{
    Stop();
}

void ProgressLine::Start()
{
    if (!m_enabled)
        return;
    Draw();
    m_timer.start();
}

void ProgressLine::Draw()
{
    const QString line = m_text().left(Columns(m_fd) - 1);
    WriteAll(m_fd, "\r" + line.toUtf8() + "\x1b[K");
    m_shown = true;
}

void ProgressLine::Erase()
{
    if (!m_shown)
        return;
    WriteAll(m_fd, "\r\x1b[K");
    m_shown = false;
}

void ProgressLine::Around(const std::function<void()> &write)
{
    Erase();
    write();
    if (m_timer.isActive())
        Draw();
}

void ProgressLine::Stop()
{
    m_timer.stop();
    Erase();
}

void ConsoleRunView::AppendLogLine(const QString &line)
{
    ++m_lines;
    if (!m_out)
        return;
    m_out(safetext::Printable(line).toUtf8() + '\n');
}

bool PolicyPrompt::AskContinue(const QString &)
{
    if (m_policy == ErrorPolicy::Skip)
        return true;
    m_endedRun = true;
    return false;
}
