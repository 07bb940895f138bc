#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "dispatch.h"
#include "guid.h"
#include "host.h"
#include "registry.h"
#include "server.h"

using namespace Qt::StringLiterals;
using namespace component;

namespace {

const Guid kSomeClass = Guid::FromText(u"{11111111-2222-3333-4444-555555555555}");
const Guid kOtherClass = Guid::FromText(u"{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");

class Counter final : public DispatchObject
{
public:
    InvokeResult Invoke(std::int32_t dispId, const QVariantList &args) override
    {
        if (dispId != 7)
            return InvokeResult::Failure(kMemberNotFound, u"no such member"_s);
        return InvokeResult::Success(args.size());
    }
};

} // namespace

class TestComponent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        // The registry follows QSettings' user path, which hosts and libraries share.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        QVERIFY(ComponentRegistry::DefaultFile().startsWith(m_config.path()));
    }

    void guidParse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // "" for refused

        QTest::newRow("registry form") << u"{F6FA2649-9AFD-11D6-AB7E-00AA000C9B61}"_s
                                       << u"{F6FA2649-9AFD-11D6-AB7E-00AA000C9B61}"_s;
        QTest::newRow("lower case") << u"{f6fa2649-9afd-11d6-ab7e-00aa000c9b61}"_s
                                    << u"{F6FA2649-9AFD-11D6-AB7E-00AA000C9B61}"_s;
        QTest::newRow("no braces") << u"F6FA2649-9AFD-11D6-AB7E-00AA000C9B61"_s << QString();
        QTest::newRow("short group") << u"{F6FA264-9AFD-11D6-AB7E-00AA000C9B61}"_s << QString();
        QTest::newRow("not hex") << u"{G6FA2649-9AFD-11D6-AB7E-00AA000C9B61}"_s << QString();
        QTest::newRow("trailing text") << u"{F6FA2649-9AFD-11D6-AB7E-00AA000C9B61}x"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }

    void guidParse()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const auto guid = Guid::Parse(text);
        QCOMPARE(guid.has_value(), !expected.isEmpty());
        if (guid)
            QCOMPARE(guid->ToString(), expected);
    }

    void registryRoundTrip()
    {
        ComponentRegistry registry(m_config.filePath(u"roundtrip.ini"_s));
        ClassRecord klass;
        klass.classId = kSomeClass;
        klass.name = u"ctlThing"_s;
        klass.progId = u"Thing.ctlThing"_s;
        klass.libraryPath = u"/opt/thing/libthing.so"_s;
        klass.control = true;
        klass.miscStatus = 0x20591;
        klass.toolboxBitmapId = 30000;
        klass.typeLibId = kOtherClass;
        klass.version = u"1.00"_s;
        QVERIFY(registry.RegisterClass(klass));

        TypeLibRecord lib;
        lib.id = kOtherClass;
        lib.name = u"Thing"_s;
        lib.helpString = u"Thing"_s;
        lib.majorVersion = 6;
        lib.minorVersion = 0;
        lib.locale = 0x0409;
        lib.flags = kTypeLibFlagControl;
        lib.libraryPath = klass.libraryPath;
        QVERIFY(registry.RegisterTypeLib(lib));

        // A second registry object reads what the first wrote, as another module would.
        const ComponentRegistry reader(registry.File());
        const auto found = reader.FindClass(kSomeClass);
        QVERIFY(found);
        QCOMPARE(found->name, klass.name);
        QCOMPARE(found->progId, klass.progId);
        QCOMPARE(found->libraryPath, klass.libraryPath);
        QCOMPARE(found->control, true);
        QCOMPARE(found->miscStatus, 0x20591u);
        QCOMPARE(found->toolboxBitmapId, 30000);
        QVERIFY(found->typeLibId == kOtherClass);
        QCOMPARE(found->version, u"1.00"_s);
        QVERIFY(reader.ClassFromProgId(u"Thing.ctlThing"_s) == kSomeClass);

        const auto foundLib = reader.FindTypeLib(kOtherClass);
        QVERIFY(foundLib);
        QCOMPARE(foundLib->majorVersion, 6);
        QCOMPARE(foundLib->minorVersion, 0);
        QCOMPARE(foundLib->locale, 0x0409u);
        QCOMPARE(foundLib->flags, kTypeLibFlagControl);

        QVERIFY(registry.RemoveClass(kSomeClass));
        QVERIFY(registry.RemoveTypeLib(kOtherClass));
        QVERIFY(!reader.FindClass(kSomeClass));
        QVERIFY(!reader.ClassFromProgId(u"Thing.ctlThing"_s));
        QVERIFY(!reader.FindTypeLib(kOtherClass));
        // Removing again is reported, not an error.
        QVERIFY(!registry.RemoveClass(kSomeClass));
    }

    void removeKeepsProgIdTakenOver()
    {
        ComponentRegistry registry(m_config.filePath(u"takeover.ini"_s));
        ClassRecord first;
        first.classId = kSomeClass;
        first.progId = u"Shared.Name"_s;
        first.libraryPath = u"/a.so"_s;
        ClassRecord second = first;
        second.classId = kOtherClass;
        second.libraryPath = u"/b.so"_s;
        QVERIFY(registry.RegisterClass(first));
        QVERIFY(registry.RegisterClass(second));
        QVERIFY(registry.RemoveClass(kSomeClass));
        QVERIFY(registry.ClassFromProgId(u"Shared.Name"_s) == kOtherClass);
    }

    void objectsAreCounted()
    {
        QCOMPARE(server::CanUnloadNow(), kOk);
        ClassFactory<Counter> factory;
        IDispatchLite *raw = nullptr;
        QCOMPARE(factory.CreateInstance(&raw), kOk);
        DispatchPtr object = DispatchPtr::Adopt(raw);
        QCOMPARE(DispatchObject::LiveObjects(), 1);
        QCOMPARE(server::CanUnloadNow(), kFalse);
        {
            DispatchPtr copy = object;
            object.reset();
            QCOMPARE(server::CanUnloadNow(), kFalse); // the copy still holds it
            QCOMPARE(copy->Invoke(7, {1, 2}).value.toInt(), 2);
            QCOMPARE(copy->Invoke(8, {}).code, kMemberNotFound);
        }
        QCOMPARE(DispatchObject::LiveObjects(), 0);
        QCOMPARE(server::CanUnloadNow(), kOk);
    }

    void classObjectOnlyForItsClass_data()
    {
        QTest::addColumn<QByteArray>("asked");
        QTest::addColumn<int>("expected");
        QTest::newRow("served class") << kSomeClass.ToString().toLatin1() << kOk;
        QTest::newRow("lower case") << kSomeClass.ToString().toLower().toLatin1() << kOk;
        QTest::newRow("other class") << kOtherClass.ToString().toLatin1() << kClassNotAvailable;
        QTest::newRow("garbage") << QByteArray("folderpick") << kClassNotAvailable;
    }

    void classObjectOnlyForItsClass()
    {
        QFETCH(QByteArray, asked);
        QFETCH(int, expected);
        ClassFactory<Counter> factory;
        void *out = &factory; // must be overwritten either way
        QCOMPARE(server::GetClassObject(asked.constData(), kSomeClass, &factory, &out), expected);
        QCOMPARE(out, expected == kOk ? static_cast<void *>(&factory) : nullptr);
    }

    void missingLibraryReportsLoaderError()
    {
        ClassRecord klass;
        klass.classId = kSomeClass;
        klass.libraryPath = m_config.filePath(u"gone/libgone.so"_s);
        QVERIFY(ComponentRegistry().RegisterClass(klass));

        const CreateResult result = CreateObject(kSomeClass, QString());
        QVERIFY(!result.object);
        QVERIFY2(result.error.contains(u"libgone.so"_s), qPrintable(result.error));
        QVERIFY2(result.error.contains(u"No such file"_s, Qt::CaseInsensitive),
                 qPrintable(result.error));
        QVERIFY(ComponentRegistry().RemoveClass(kSomeClass));
    }

    void unregisteredWithoutFallbackLibrary()
    {
        const CreateResult result = CreateObject(kOtherClass, u"libnothing-here.so*"_s,
                                                 m_config.path());
        QVERIFY(!result.object);
        QVERIFY2(result.error.contains(kOtherClass.ToString()), qPrintable(result.error));
        QVERIFY2(result.error.contains(u"libnothing-here.so*"_s), qPrintable(result.error));
    }

    void notALibraryIsReported()
    {
        QFile bogus(m_config.filePath(u"libbogus.so"_s));
        QVERIFY(bogus.open(QIODevice::WriteOnly));
        bogus.write("not an ELF file");
        bogus.close();
        const CreateResult result = CreateObject(kOtherClass, u"libbogus.so*"_s, m_config.path());
        QVERIFY(!result.object);
        QVERIFY2(result.error.contains(u"Cannot load"_s), qPrintable(result.error));
    }

private:
    QTemporaryDir m_config;
};

QTEST_GUILESS_MAIN(TestComponent)
#include "tst_component.moc"
