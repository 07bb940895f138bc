// A host that, like the program, never links Folderpick: it loads the built library at
// run time, registers it, creates the control by class ID and calls it by dispatch ID.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "dispatch.h"
#include "entrypoints.h"
#include "folderpickids.h"
#include "guid.h"
#include "host.h"
#include "modal.h"
#include "registry.h"

using namespace Qt::StringLiterals;
using namespace component;

class TestFolderpickHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        m_library.setFileName(QStringLiteral(FOLDERPICK_LIBRARY));
        QVERIFY2(m_library.load(), qPrintable(m_library.errorString()));
        m_register = reinterpret_cast<DllRegisterServerFn>(m_library.resolve("DllRegisterServer"));
        m_unregister = reinterpret_cast<DllUnregisterServerFn>(
            m_library.resolve("DllUnregisterServer"));
        m_canUnload = reinterpret_cast<DllCanUnloadNowFn>(m_library.resolve("DllCanUnloadNow"));
        QVERIFY(m_register && m_unregister && m_canUnload);
        QVERIFY(m_library.resolve("DllGetClassObject"));
        // Its internals stay inside it.
        QVERIFY(!m_library.resolve("_ZN13ctlFolderpick16ShowBrowseFolderERK7QString"));
    }

    void registerRecordsTheClass()
    {
        QCOMPARE(m_register(), kOk);
        const ComponentRegistry registry;
        const auto klass = registry.FindClass(ClassId());
        QVERIFY(klass);
        QCOMPARE(klass->progId, u"Folderpick.ctlFolderpick"_s);
        QCOMPARE(QFileInfo(klass->libraryPath).canonicalFilePath(),
                 QFileInfo(QStringLiteral(FOLDERPICK_LIBRARY)).canonicalFilePath());
        QVERIFY(klass->control);
        QCOMPARE(klass->miscStatus, 0x20591u);
        QCOMPARE(klass->toolboxBitmapId, 30000);
        QCOMPARE(klass->version, u"1.00"_s);
        QCOMPARE(klass->typeLibId.ToString(), u"{F6FA2645-9AFD-11D6-AB7E-00AA000C9B61}"_s);
        QVERIFY(registry.ClassFromProgId(u"Folderpick.ctlFolderpick"_s) == ClassId());

        const auto lib = registry.FindTypeLib(klass->typeLibId);
        QVERIFY(lib);
        QCOMPARE(lib->name, u"Folderpick"_s);
        QCOMPARE(lib->helpString, u"Folderpick"_s);
        QCOMPARE(lib->majorVersion, 6);
        QCOMPARE(lib->minorVersion, 0);
        QCOMPARE(lib->locale, 0x0409u);
        QVERIFY(lib->flags & kTypeLibFlagControl);
    }

    void createAndInvokeByDispatchId()
    {
        CreateResult created = CreateObject(ClassId(), QString());
        QVERIFY2(created.object, qPrintable(created.error));
        QCOMPARE(m_canUnload(), kFalse);

        const InvokeResult unknown = created.object->Invoke(0x12345678, {QString()});
        QCOMPARE(unknown.code, kMemberNotFound);
        QVERIFY(unknown.error.contains(u"12345678"_s));

        OnNextModal([](QWidget *dialog) {
            QCOMPARE(dialog->windowTitle(), u"Browse for folder"_s);
            QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdCancel"_s), Qt::LeftButton);
        });
        const InvokeResult cancelled = created.object->Invoke(folderpick::kDispShowBrowseFolder,
                                                              {QString()});
        QVERIFY2(cancelled.Ok(), qPrintable(cancelled.error));
        QCOMPARE(cancelled.value.metaType().id(), QMetaType::QString);
        QCOMPARE(cancelled.value.toString(), QString());

        OnNextModal([](QWidget *dialog) {
            QCOMPARE(dialog->windowTitle(), u"Files"_s);
            auto *files = dialog->findChild<QListWidget *>(u"Files"_s);
            QVERIFY(files && files->count() > 0);
            ClickRow(files, 0);
            QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdOk"_s), Qt::LeftButton);
        });
        // The file dialog opens on the current directory: make it the build's bin folder.
        const QString before = QDir::currentPath();
        const QString folder = QFileInfo(QStringLiteral(FOLDERPICK_LIBRARY)).absolutePath();
        QVERIFY(QDir::setCurrent(folder));
        const InvokeResult file = created.object->Invoke(folderpick::kDispShowBrowseFile,
                                                         {u"Files"_s, u"libfolderpick.so*"_s});
        QVERIFY(QDir::setCurrent(before));
        QVERIFY2(file.Ok(), qPrintable(file.error));
        QCOMPARE(file.value.toString(), folder + u"/libfolderpick.so"_s);

        created.object.reset();
        QCOMPARE(m_canUnload(), kOk);
    }

    void unregisteredClassIsFoundBesideTheProgram()
    {
        QCOMPARE(m_unregister(), kOk);
        QVERIFY(!ComponentRegistry().FindClass(ClassId()));
        QVERIFY(!ComponentRegistry().ClassFromProgId(u"Folderpick.ctlFolderpick"_s));
        QCOMPARE(m_unregister(), kOk); // nothing left to remove is no failure

        // Without a fallback the host can only report it.
        const CreateResult refused = CreateObject(ClassId(), QString());
        QVERIFY(!refused.object);
        QVERIFY(refused.error.contains(ClassId().ToString()));

        // The test host lives in the build's bin folder beside the library, as the
        // program does once installed.
        CreateResult created = CreateObject(ClassId(), folderpick::kLibraryFile.toString());
        QVERIFY2(created.object, qPrintable(created.error));
        QVERIFY(ComponentRegistry().FindClass(ClassId()));
        created.object.reset();
        QCOMPARE(m_canUnload(), kOk);
    }

    void staleRegistrationFallsBack()
    {
        ClassRecord stale = *ComponentRegistry().FindClass(ClassId());
        stale.libraryPath = m_config.filePath(u"moved/libfolderpick.so.1"_s);
        QVERIFY(ComponentRegistry().RegisterClass(stale));

        const CreateResult noFallback = CreateObject(ClassId(), QString());
        QVERIFY(!noFallback.object);
        QVERIFY2(noFallback.error.contains(u"moved/libfolderpick.so.1"_s),
                 qPrintable(noFallback.error));

        CreateResult created = CreateObject(ClassId(), folderpick::kLibraryFile.toString());
        QVERIFY2(created.object, qPrintable(created.error));
        QVERIFY(!ComponentRegistry().FindClass(ClassId())->libraryPath.contains(u"moved"_s));
    }

private:
    static Guid ClassId() { return Guid::FromText(folderpick::kClassId); }

    QTemporaryDir m_config;
    QLibrary m_library;
    DllRegisterServerFn m_register = nullptr;
    DllUnregisterServerFn m_unregister = nullptr;
    DllCanUnloadNowFn m_canUnload = nullptr;
};

QTEST_MAIN(TestFolderpickHost)
#include "tst_folderpick_host.moc"
