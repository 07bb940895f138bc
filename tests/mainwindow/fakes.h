#pragma once

#include "folderpicker.h"
#include "loglist.h"
#include "prompts.h"
#include "transfer/oneatatime.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// A transfer component that only remembers what the window asked of it.
class FakeTransfer final : public OneAtATimeTransfer
{
public:
    Result OpenURL(const Request &) override { return {}; }
    int RequestTimeout() const override { return timeout; }
    void SetRequestTimeout(int seconds) override
    {
        timeout = seconds;
        timeoutsSet.append(seconds);
    }
    bool StillExecuting() const override
    {
        ++executingQueries;
        return executing;
    }
    void Cancel() override
    {
        ++cancels;
        executing = false;
    }

    int timeout = 60;
    QList<int> timeoutsSet;
    bool executing = false;
    mutable int executingQueries = 0;
    int cancels = 0;
};

// Records every box as "kind|title|text[|icon]" and answers from queues.
class FakePrompts final : public Prompts
{
public:
    void MsgBox(const QString &text, const QString &title, Icon icon) override
    {
        shown.append(QStringLiteral("Msg|") + title + u'|' + text + u'|' + IconName(icon));
    }
    bool YesNo(const QString &text, const QString &title) override
    {
        shown.append(QStringLiteral("YesNo|") + title + u'|' + text);
        if (whenAsked)
            whenAsked();
        if (answers.isEmpty()) {
            unexpected = true;
            return false;
        }
        return answers.dequeue();
    }
    QString InputBox(const QString &prompt, const QString &title) override
    {
        shown.append(QStringLiteral("Input|") + title + u'|' + prompt);
        if (inputs.isEmpty()) {
            unexpected = true;
            return {};
        }
        return inputs.dequeue();
    }

    static QString IconName(Icon icon)
    {
        switch (icon) {
        case Icon::Critical:
            return QStringLiteral("Critical");
        case Icon::Warning:
            return QStringLiteral("Warning");
        case Icon::None:
            break;
        }
        return QStringLiteral("None");
    }

    QStringList shown;
    QQueue<bool> answers;
    QQueue<QString> inputs;
    bool unexpected = false;
    // Runs while a Yes/No question is up, before it is answered: what the window shows then.
    std::function<void()> whenAsked;
};

class FakeFolderPicker final : public FolderPicker
{
public:
    std::optional<QString> ShowBrowseFolder(const QString &title) override
    {
        titles.append(title);
        return answer;
    }

    std::optional<QString> answer;
    QStringList titles;
};

// The activity log's lines, oldest first.
inline QStringList LogLines(const LogList &log)
{
    QStringList lines;
    lines.reserve(log.count());
    for (int row = 0; row < log.count(); ++row)
        lines.append(log.Line(row));
    return lines;
}
