#pragma once

// What the whole-run suites share: pressing Go, reading a result file, a page of links,
// and acting at the right moment from inside a run's own waits.

#include "curltransfer.h"
#include "fakes.h"
#include "frmmain.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// The window's control of that objectName; a test without it cannot go on.
template<typename T>
T *Child(const QObject &window, const char *name)
{
    T *widget = window.findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

// The program's settings go into folder, and the help does not open at start.
inline void KeepSettingsIn(const QString &folder)
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings settings(QStringLiteral("Linkhauler"), QStringLiteral("Linkhauler"));
    settings.setValue(QStringLiteral("Settings/ShowHelp"), QStringLiteral("False"));
}

// The real window on a transfer of its own, its boxes answered by `prompts` and File > Exit
// doing nothing, shown: false when it never became visible.
inline bool OpenWindow(std::unique_ptr<CurlTransfer> &inet, std::unique_ptr<FakePrompts> &prompts,
                       std::unique_ptr<frmMain> &window)
{
    inet = std::make_unique<CurlTransfer>();
    prompts = std::make_unique<FakePrompts>();
    window = std::make_unique<frmMain>(*inet);
    window->SetPrompts(prompts.get());
    window->SetExitProgram([] {});
    window->show();
    return QTest::qWaitForWindowExposed(window.get());
}

inline QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray Page(const QStringList &links)
{
    QByteArray body = "<html><head><title>links</title></head><body>\n";
    for (const QString &link : links)
        body += "<a href=\"" + link.toUtf8() + "\">x</a>\n";
    return body + "</body></html>\n";
}

// Runs action once, as soon as condition holds, also from inside the run's own waits.
class ActWhen final
{
public:
    ActWhen(std::function<bool()> condition, std::function<void()> action, int intervalMs = 10)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this, condition = std::move(condition), action = std::move(action)] {
                             if (!condition())
                                 return;
                             m_timer.stop();
                             fired = true;
                             action();
                         });
        m_timer.start();
    }
    bool fired = false;

private:
    QTimer m_timer;
};

// Presses the window's Go and waits until the click has returned, which is when the run is
// over; Stop is pressed if it has not ended within limitMs. False when Stop had to be
// pressed or the click never returned.
inline bool PressGo(QWidget &window, int limitMs)
{
    auto *go = Child<QPushButton>(window, "cmdGo");
    auto *stop = Child<QPushButton>(window, "cmdStop");
    bool returned = false;
    // The timer keeps the caller's own loop in charge while the run spins its own.
    QTimer::singleShot(0, go, [&] {
        go->click();
        returned = true;
    });
    bool stopped = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, stop, [&] {
        stopped = true;
        stop->click();
    });
    guard.start(limitMs);
    return QTest::qWaitFor([&] { return returned; }, limitMs + 5000) && !stopped;
}
