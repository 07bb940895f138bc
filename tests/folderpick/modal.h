#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

// Runs action on the next modal window other than notThis once it is up, polling the
// event loop. Bounded: without a modal window in time the test fails. Whatever the
// action leaves open is closed, so a failed check cannot leave a test hanging.
inline void OnNextModal(std::function<void(QWidget *)> action, QWidget *notThis = nullptr)
{
    constexpr int kBoundMs = 10000;
    auto *poll = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != notThis && modal->isVisible()) {
            poll->stop();
            poll->deleteLater();
            QPointer<QWidget> guard(modal);
            action(modal);
            if (guard && guard->isVisible())
                guard->close();
            return;
        }
        if (clock->elapsed() > kBoundMs) {
            poll->stop();
            poll->deleteLater();
            QFAIL("no modal window came up");
        }
    });
    poll->start(5);
}

inline void ClickRow(QListWidget *list, int row, Qt::KeyboardModifiers modifiers = {})
{
    QListWidgetItem *item = list->item(row);
    QVERIFY(item);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualItemRect(item).center());
}

inline void DoubleClickRow(QListWidget *list, int row)
{
    QListWidgetItem *item = list->item(row);
    QVERIFY(item);
    list->scrollToItem(item);
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}
