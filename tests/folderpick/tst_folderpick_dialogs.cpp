#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "basmain.h"
#include "ctlfolderpick.h"
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"
#include "frmfilebrowse.h"
#include "host.h"
#include "modal.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kRoot = 1000; // stands for the root entry's index in the data rows

template<typename T>
T *Child(QWidget *window, const QString &name)
{
    return window->findChild<T *>(name);
}

} // namespace

class TestFolderpickDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_tree = QDir::cleanPath(m_dir.path() + u"/tree"_s);
        for (const QString &folder : {u"tree/alpha/inner"_s, u"tree/Beta"_s, u"tree/zeta"_s})
            QVERIFY(QDir(m_dir.path()).mkpath(folder));
        for (const QString &file :
             {u"README"_s, u"a.txt"_s, u"b.txt"_s, u"c.md"_s, u"notes.txt.bak"_s}) {
            QFile f(m_tree + u'/' + file);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        m_control = component::DispatchPtr::Adopt(new ctlFolderpick);
    }

    void init()
    {
        // The dialogs open on the process's current directory.
        m_startDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_tree));
    }

    void cleanup()
    {
        // Browsing must not have moved the current directory.
        QCOMPARE(QDir::currentPath(), m_tree);
        QDir::setCurrent(m_startDir);
    }

    void folderEnableRules_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("expected");
        const QString parent = QFileInfo(m_tree).path();
        QTest::newRow("open folder itself") << -1 << false << QString();
        QTest::newRow("subfolder") << 1 << true << m_tree + u"/alpha"_s;
        QTest::newRow("parent") << -2 << true << parent;
        QTest::newRow("root keeps its separator") << kRoot << true << u"/"_s;
    }

    void folderEnableRules()
    {
        QFETCH(int, index);
        QFETCH(bool, enabled);
        QFETCH(QString, expected);
        const int depth = int(m_tree.count(u'/'));
        if (index == kRoot)
            index = -(depth + 1);

        OnNextModal([&](QWidget *dialog) {
            auto *dirs = Child<DirListBox>(dialog, u"Directories"_s);
            auto *ok = Child<QPushButton>(dialog, u"cmdOk"_s);
            QVERIFY(dirs && ok);
            QVERIFY(!ok->isEnabled());
            QCOMPARE(dirs->Path(), m_tree);
            ClickRow(dirs, depth + 1); // a subfolder first, so "&Ok" has something to lose
            QVERIFY(ok->isEnabled());
            ClickRow(dirs, index + depth + 1);
            QCOMPARE(dirs->ListIndex(), index);
            QCOMPARE(dirs->Path(), m_tree); // a click opens nothing
            QCOMPARE(ok->isEnabled(), enabled);
            QTest::mouseClick(enabled ? ok : Child<QPushButton>(dialog, u"cmdCancel"_s),
                              Qt::LeftButton);
        });
        const QString result = Control().ShowBrowseFolder(QString());
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(result, expected);
    }

    void folderDoubleClickOpens()
    {
        OnNextModal([&](QWidget *dialog) {
            auto *dirs = Child<DirListBox>(dialog, u"Directories"_s);
            auto *ok = Child<QPushButton>(dialog, u"cmdOk"_s);
            const int depth = int(m_tree.count(u'/'));
            DoubleClickRow(dirs, depth + 2); // "alpha"
            QCOMPARE(dirs->Path(), m_tree + u"/alpha"_s);
            QCOMPARE(dirs->ListIndex(), -1);
            QVERIFY(ok->isEnabled()); // through the double click's first click
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        QCOMPARE(Control().ShowBrowseFolder(QString()), m_tree + u"/alpha"_s);
    }

    void earlierResultNeverLeaks_data()
    {
        QTest::addColumn<bool>("fileDialog");
        QTest::addColumn<QString>("ending"); // button objectName, or "close box"
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder, ok") << false << u"cmdOk"_s << m_tree + u"/zeta"_s;
        QTest::newRow("folder, cancel") << false << u"cmdCancel"_s << QString();
        QTest::newRow("folder, close box") << false << u"close box"_s << QString();
        QTest::newRow("file, ok without selection") << true << u"cmdOk"_s << QString();
        QTest::newRow("file, cancel") << true << u"cmdCancel"_s << QString();
        QTest::newRow("file, close box") << true << u"close box"_s << QString();
    }

    void earlierResultNeverLeaks()
    {
        QFETCH(bool, fileDialog);
        QFETCH(QString, ending);
        QFETCH(QString, expected);
        const int depth = int(m_tree.count(u'/'));

        // A first call that ends with "&Ok".
        OnNextModal([&](QWidget *dialog) {
            if (fileDialog)
                ClickRow(Child<FileListBox>(dialog, u"Files"_s), 1);
            else
                ClickRow(Child<DirListBox>(dialog, u"Directories"_s), depth + 1);
            QTest::mouseClick(Child<QPushButton>(dialog, u"cmdOk"_s), Qt::LeftButton);
        });
        const QString first = fileDialog ? Control().ShowBrowseFile(QString(), QString())
                                         : Control().ShowBrowseFolder(QString());
        QCOMPARE(first, fileDialog ? m_tree + u"/a.txt"_s : m_tree + u"/Beta"_s);

        OnNextModal([&](QWidget *dialog) {
            auto *ok = Child<QPushButton>(dialog, u"cmdOk"_s);
            QVERIFY(!ok->isEnabled()); // a fresh dialog
            if (ending == u"close box"_s) {
                dialog->close();
                return;
            }
            if (ending == u"cmdOk"_s) {
                if (fileDialog) {
                    // Selected, then deselected again: "&Ok" stays enabled but finds nothing.
                    auto *files = Child<FileListBox>(dialog, u"Files"_s);
                    ClickRow(files, 0);
                    ClickRow(files, 0, Qt::ControlModifier);
                    QVERIFY(!files->Selected(0));
                } else {
                    ClickRow(Child<DirListBox>(dialog, u"Directories"_s), depth + 3);
                }
                QVERIFY(ok->isEnabled());
            }
            QTest::mouseClick(Child<QPushButton>(dialog, ending), Qt::LeftButton);
        });
        const QString second = fileDialog ? Control().ShowBrowseFile(QString(), QString())
                                          : Control().ShowBrowseFolder(QString());
        QCOMPARE(second, expected);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void captions_data()
    {
        QTest::addColumn<bool>("fileDialog");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("caption");
        QTest::newRow("folder, no title") << false << QString() << u"Browse for folder"_s;
        QTest::newRow("folder, title") << false << u"Where to?"_s << u"Where to?"_s;
        QTest::newRow("file, no title") << true << QString() << u"Browse for a file..."_s;
        QTest::newRow("file, title") << true << u"Pick files"_s << u"Pick files"_s;
    }

    void captions()
    {
        QFETCH(bool, fileDialog);
        QFETCH(QString, title);
        QFETCH(QString, caption);
        QString seen;
        OnNextModal([&](QWidget *dialog) {
            seen = dialog->windowTitle();
            QTest::mouseClick(Child<QPushButton>(dialog, u"cmdCancel"_s), Qt::LeftButton);
        });
        if (fileDialog)
            Control().ShowBrowseFile(title, QString());
        else
            Control().ShowBrowseFolder(title);
        QCOMPARE(seen, caption);
    }

    void fileResults_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QList<int>>(
            "clicks"); // a negative entry is a ctrl-click on row -entry - 1
        QTest::addColumn<QStringList>("expected");
        const QStringList all{u"README"_s, u"a.txt"_s, u"b.txt"_s, u"c.md"_s, u"notes.txt.bak"_s};
        QTest::newRow("one file") << u"*.*"_s << all << QList<int>{2} << QStringList{u"b.txt"_s};
        QTest::newRow("second and fourth, focus on the fourth")
            << u"*.*"_s << all << QList<int>{1, -4} << QStringList{u"a.txt"_s, u"c.md"_s};
        QTest::newRow("second and fourth, focus on the second")
            << u"*.*"_s << all << QList<int>{3, -2} << QStringList{u"a.txt"_s, u"c.md"_s};
        QTest::newRow("empty pattern lists every file")
            << QString() << all << QList<int>{0} << QStringList{u"README"_s};
        QTest::newRow("patterns joined by semicolon")
            << u"*.md;*.txt"_s << QStringList{u"a.txt"_s, u"b.txt"_s, u"c.md"_s} << QList<int>{2}
            << QStringList{u"c.md"_s};
        QTest::newRow("no match") << u"*.zzz"_s << QStringList{} << QList<int>{} << QStringList{};
    }

    void fileResults()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, listed);
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, expected);

        OnNextModal([&](QWidget *dialog) {
            auto *files = Child<FileListBox>(dialog, u"Files"_s);
            auto *ok = Child<QPushButton>(dialog, u"cmdOk"_s);
            QStringList shown;
            for (int i = 0; i < files->ListCount(); ++i)
                shown << files->List(i);
            QCOMPARE(shown, listed);
            for (int click : clicks) {
                if (click >= 0)
                    ClickRow(files, click);
                else
                    ClickRow(files, -click - 1, Qt::ControlModifier);
            }
            QCOMPARE(ok->isEnabled(), !clicks.isEmpty());
            QTest::mouseClick(clicks.isEmpty() ? Child<QPushButton>(dialog, u"cmdCancel"_s) : ok,
                              Qt::LeftButton);
        });
        const QString result = Control().ShowBrowseFile(QString(), pattern);
        if (QTest::currentTestFailed())
            return;
        QStringList paths;
        for (const QString &name : expected)
            paths << m_tree + u'/' + name;
        QCOMPARE(result, paths.join(u';'));
    }

    // Regression: Enter in the file list pressed the auto-default "&Cancel" and the
    // selection was lost.
    void fileEnterPressesNoButton()
    {
        bool stayedOpen = false;
        OnNextModal([&](QWidget *dialog) {
            auto *files = Child<FileListBox>(dialog, u"Files"_s);
            ClickRow(files, 1);
            QTest::keyClick(files, Qt::Key_Return);
            stayedOpen = dialog->isVisible();
            QTest::mouseClick(Child<QPushButton>(dialog, u"cmdOk"_s), Qt::LeftButton);
        });
        const QString result = Control().ShowBrowseFile(QString(), u"*.txt"_s);
        QVERIFY(stayedOpen);
        QCOMPARE(result, m_tree + u"/b.txt"_s);
    }

    void fileOkStaysEnabledInAnotherFolder()
    {
        OnNextModal([&](QWidget *dialog) {
            auto *files = Child<FileListBox>(dialog, u"Files"_s);
            auto *dirs = Child<DirListBox>(dialog, u"Directories"_s);
            auto *ok = Child<QPushButton>(dialog, u"cmdOk"_s);
            ClickRow(files, 1);
            QVERIFY(ok->isEnabled());
            DoubleClickRow(dirs, int(m_tree.count(u'/')) + 2); // "alpha": no files in it
            QCOMPARE(files->Path(), m_tree + u"/alpha"_s);
            QCOMPARE(files->ListCount(), 0);
            QVERIFY(ok->isEnabled());
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        QCOMPARE(Control().ShowBrowseFile(QString(), QString()), QString());
    }

    void joinSelectedFiles_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing selected") << u"/data"_s << QStringList{} << QString();
        QTest::newRow("one") << u"/data"_s << QStringList{u"a"_s} << u"/data/a"_s;
        QTest::newRow("two") << u"/data"_s << QStringList{u"a"_s, u"b"_s} << u"/data/a;/data/b"_s;
        // Regression: a file in the root used to come back as "//name".
        QTest::newRow("file in the root") << u"/"_s << QStringList{u"etc"_s} << u"/etc"_s;
    }

    void joinSelectedFiles()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, names);
        QFETCH(QString, expected);
        QCOMPARE(JoinSelectedFiles(folder, names), expected);
    }

    void windowsOnOpening_data()
    {
        QTest::addColumn<bool>("fileDialog");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QStringList>("tabOrder");
        QTest::newRow("folder") << false << u"Drives"_s << QSize(304, 293)
                                << QStringList{u"Drives"_s, u"Directories"_s, u"cmdOk"_s,
                                               u"cmdCancel"_s, u"cmdAbout"_s};
        QTest::newRow("file") << true << u"cmdAbout"_s << QSize(375, 293)
                              << QStringList{u"cmdAbout"_s,    u"cmdCancel"_s, u"cmdOk"_s,
                                             u"Directories"_s, u"Drives"_s,    u"Files"_s};
    }

    void windowsOnOpening()
    {
        QFETCH(bool, fileDialog);
        QFETCH(QString, focus);
        QFETCH(QSize, size);
        QFETCH(QStringList, tabOrder);
        OnNextModal([&](QWidget *dialog) {
            QVERIFY(dialog->focusWidget());
            QCOMPARE(dialog->focusWidget()->objectName(), focus);
            QCOMPARE(dialog->size(), size);
            QCOMPARE(dialog->minimumSize(), size);
            QCOMPARE(dialog->maximumSize(), size);
            const Qt::WindowFlags flags = dialog->windowFlags();
            QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
            QVERIFY(flags & Qt::WindowCloseButtonHint);
            QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            QCOMPARE(Child<DirListBox>(dialog, u"Directories"_s)->Path(), m_tree);
            QCOMPARE(Child<DriveListBox>(dialog, u"Drives"_s)->Drive(),
                     DriveListBox::DriveOf(m_tree, DriveListBox::Drives()));

            QStringList order;
            QWidget *w = Child<QWidget>(dialog, tabOrder.first());
            for (int guard = 0; w && guard < 200 && order.size() < tabOrder.size(); ++guard) {
                if (tabOrder.contains(w->objectName()) && w->parentWidget() == dialog)
                    order << w->objectName();
                w = w->nextInFocusChain();
            }
            QCOMPARE(order, tabOrder);
            dialog->close();
        });
        if (fileDialog)
            Control().ShowBrowseFile(QString(), QString());
        else
            Control().ShowBrowseFolder(QString());
    }

    void aboutBox()
    {
        int checked = 0;
        OnNextModal([&](QWidget *dialog) {
            OnNextModal(
                [&](QWidget *about) {
                    QCOMPARE(about->objectName(), u"frmAbout"_s);
                    QCOMPARE(about->windowTitle(), u"About"_s);
                    QCOMPARE(about->size(), QSize(202, 140));
                    QVERIFY(!(about->windowFlags() & Qt::WindowCloseButtonHint));
                    auto *title = Child<QLabel>(about, u"lblTitle"_s);
                    auto *version = Child<QLabel>(about, u"lblVersion"_s);
                    QCOMPARE(title->text(), u"Folderpick Control"_s);
                    QCOMPARE(version->text(), u"Version 1.0"_s);
                    for (QLabel *label : {title, version}) {
                        QVERIFY(label->font().bold());
                        QCOMPARE(label->font().pointSizeF(), 8.25);
                    }
                    QCOMPARE(title->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
                    QCOMPARE(version->palette().color(QPalette::WindowText), QColor(0x80, 0, 0));
                    QVERIFY(Child<QLabel>(about, u"lblDescription"_s)
                                ->text()
                                .contains(u"Linkhauler"_s));
                    QCOMPARE(Child<QLabel>(about, u"picIcon"_s)->pixmap().size(), QSize(32, 32));
                    QVERIFY(Child<QPushButton>(about, u"cmdOK"_s)->isDefault());
                    ++checked;
                    QTest::keyClick(about, Qt::Key_Escape); // the cancel button's key
                    QVERIFY(!about->isVisible());
                    ++checked;
                },
                dialog);
            QTest::mouseClick(Child<QPushButton>(dialog, u"cmdAbout"_s), Qt::LeftButton);
            QCOMPARE(QApplication::activeModalWidget(), dialog); // back under the about box's close
            QTest::mouseClick(Child<QPushButton>(dialog, u"cmdCancel"_s), Qt::LeftButton);
        });
        QCOMPARE(Control().ShowBrowseFolder(QString()), QString());
        QCOMPARE(checked, 2);
    }

    void invokeChecksItsArguments_data()
    {
        QTest::addColumn<int>("dispId");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("unknown member")
            << 0x60030002 << QVariantList{QString()} << component::kMemberNotFound;
        QTest::newRow("folder without title")
            << 0x60030000 << QVariantList{} << component::kBadParamCount;
        QTest::newRow("file with one argument")
            << 0x60030001 << QVariantList{QString()} << component::kBadParamCount;
        QTest::newRow("title not a string")
            << 0x60030000 << QVariantList{42} << component::kTypeMismatch;
    }

    void invokeChecksItsArguments()
    {
        QFETCH(int, dispId);
        QFETCH(QVariantList, args);
        QFETCH(int, code);
        const component::InvokeResult result = m_control->Invoke(dispId, args);
        QCOMPARE(result.code, code);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(!QApplication::activeModalWidget()); // nothing was shown
    }

private:
    ctlFolderpick &Control() { return *static_cast<ctlFolderpick *>(m_control.get()); }

    QTemporaryDir m_dir;
    QString m_tree;
    QString m_startDir;
    component::DispatchPtr m_control;
};

QTEST_MAIN(TestFolderpickDialogs)
#include "tst_folderpick_dialogs.moc"
