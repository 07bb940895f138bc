#pragma once

#include <QString>

#include <functional>
#include <memory>

// The file of --log: every line appended with the date and time, so that runs one after
// another (or shards side by side) share one file that still reads in order.
class RunLog final
{
public:
    using Tell = std::function<void(const QString &message)>;

    // Opens the file for appending, made readable by its owner only when it is new; none,
    // with `error` set, when it cannot be. `tell` hears once that the file refused a line.
    static std::unique_ptr<RunLog> Open(const QString &path, Tell tell, QString &error);
    ~RunLog();
    Q_DISABLE_COPY_MOVE(RunLog)

    // A log line as the run shows it ("<time of day> -> <message>") or any other text, line
    // by line, each after the date and time: "2024-05-01 02:30:07 -> <message>".
    void Append(const QString &text);
    // A line was refused; none is tried after it.
    bool Failed() const { return m_failed; }

private:
    RunLog(int fd, const QString &path, Tell tell) : m_fd(fd), m_path(path), m_tell(std::move(tell))
    {
    }

    int m_fd;
    QString m_path;
    Tell m_tell;
    bool m_failed = false;
};
