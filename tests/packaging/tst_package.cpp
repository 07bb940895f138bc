// Builds the Debian package into a scratch folder and checks it as apt and a user meet it: the
// files it holds, its metadata, and that every file the programs map while they run belongs
// to a package its Depends bring in.

#include "testhttpserver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

struct ToolResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolResult RunTool(const QString &program, const QStringList &arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.start(program, arguments);
    ToolResult result;
    if (!process.waitForStarted(10000)) {
        result.err = program.toUtf8() + " did not start: " + process.errorString().toUtf8();
        return result;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        result.err = program.toUtf8() + " did not end in time";
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

// "a (>= 1), b | c:any" as its clauses, each the names of its alternatives.
QList<QStringList> DependsClauses(const QString &field)
{
    static const QRegularExpression qualifiers(uR"(\([^)]*\)|\[[^\]]*\]|<[^>]*>|:[a-z0-9]+)"_s);
    QList<QStringList> clauses;
    for (const QString &clause : field.split(u',')) {
        QStringList names;
        for (QString alternative : clause.split(u'|')) {
            alternative.remove(qualifiers);
            if (!alternative.trimmed().isEmpty())
                names << alternative.trimmed();
        }
        if (!names.isEmpty())
            clauses << names;
    }
    return clauses;
}

// Every package a system has with these Depends, as this machine satisfies them: the
// essential packages, which every Debian system has, and of each clause the first alternative
// that is installed, itself or through a package providing it.
QSet<QString> DependsClosure(const QString &depends)
{
    const ToolResult query = RunTool(
        u"dpkg-query"_s,
        {u"-W"_s,
         u"-f=${db:Status-Abbrev}\t${Package}\t${Essential}\t${Provides}\t${Depends}, ${Pre-Depends}\n"_s});
    QMap<QString, QString> dependsOf;
    QMap<QString, QString> providerOf;
    QStringList pending{depends};
    for (const QByteArray &line : query.out.split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(u'\t');
        if (fields.size() != 5 || !fields[0].startsWith(u"ii"_s))
            continue;
        dependsOf.insert(fields[1], fields[4]);
        for (const QStringList &provided : DependsClauses(fields[3]))
            providerOf.insert(provided.first(), fields[1]);
        if (fields[2] == "yes"_L1)
            pending << fields[1];
    }
    QSet<QString> closure;
    while (!pending.isEmpty()) {
        for (const QStringList &clause : DependsClauses(pending.takeLast())) {
            for (const QString &name : clause) {
                const QString package = dependsOf.contains(name) ? name : providerOf.value(name);
                if (package.isEmpty())
                    continue;
                if (!closure.contains(package)) {
                    closure.insert(package);
                    pending << dependsOf.value(package);
                }
                break;
            }
        }
    }
    return closure;
}

// The files mapped by the process and all its descendants (the browser engine's helpers).
QSet<QString> MappedFiles(qint64 rootPid)
{
    QMap<qint64, qint64> parentOf;
    for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/"_s + entry + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> after = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (after.size() > 1)
            parentOf.insert(entry.toLongLong(), after[1].toLongLong());
    }
    QSet<QString> files;
    for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it) {
        qint64 ancestor = it.key();
        while (ancestor > 1 && ancestor != rootPid)
            ancestor = parentOf.value(ancestor, 0);
        if (ancestor != rootPid)
            continue;
        QFile maps(u"/proc/%1/maps"_s.arg(it.key()));
        if (!maps.open(QIODevice::ReadOnly))
            continue; // a sandboxed helper hides its maps
        for (const QByteArray &line : maps.readAll().split('\n')) {
            const qsizetype slash = line.indexOf(" /");
            if (slash >= 0)
                files.insert(QString::fromUtf8(line.mid(slash + 1)).remove(u" (deleted)"_s));
        }
    }
    return files;
}

// Which package owns each file; files no package owns are left out.
QMap<QString, QStringList> OwnersOf(const QStringList &files)
{
    QMap<QString, QStringList> owners;
    const auto ask = [&](const QStringList &paths) {
        if (paths.isEmpty())
            return;
        const ToolResult search = RunTool(u"dpkg-query"_s, QStringList{u"-S"_s} + paths);
        for (const QByteArray &line : search.out.split('\n')) {
            const qsizetype colon = line.indexOf(": /");
            if (colon < 0 || line.startsWith("diversion "))
                continue;
            QStringList packages;
            for (const QByteArray &name : line.left(colon).split(','))
                packages << QString::fromUtf8(name.trimmed()).section(u':', 0, 0);
            owners.insert(QString::fromUtf8(line.mid(colon + 2)), packages);
        }
    };
    ask(files);
    // With /lib merged into /usr/lib the loader's paths are /usr's, dpkg's still /lib's.
    QStringList merged;
    for (const QString &file : files)
        if (!owners.contains(file)
            && QRegularExpression(u"^/usr/(lib|lib64|bin|sbin)/"_s).match(file).hasMatch())
            merged << file.mid(4);
    ask(merged);
    for (const QString &file : merged)
        if (owners.contains(file))
            owners.insert(u"/usr"_s + file, owners.take(file));
    return owners;
}

// Files the system makes for itself, which no package owns.
bool IsGeneratedCache(const QString &file)
{
    return file == "/etc/ld.so.cache"_L1 || file == "/usr/lib/locale/locale-archive"_L1
        || file.startsWith("/var/cache/fontconfig/"_L1) || file.endsWith("/gconv-modules.cache"_L1);
}

struct Entry
{
    const char *name;
    QString path;
    QString mode; // as dpkg-deb -c shows it
    int iconSize = 0;
};

// Everything the package holds outside the program folder's Help/.
QList<Entry> ExpectedEntries()
{
    const QString folder = QStringLiteral(LH_PROGRAM_DIR);
    const QString file = u"-rw-r--r--"_s;
    const QString link = u"lrwxrwxrwx"_s;
    QList<Entry> entries{
        {"window program", folder + u"/linkhauler"_s, u"-rwxr-xr-x"_s},
        {"linkhauler-run", folder + u"/linkhauler-run"_s, u"-rwxr-xr-x"_s},
        {"Folderpick", folder + u"/libfolderpick.so.1.0.0"_s, file},
        {"Folderpick by its soname", folder + u"/libfolderpick.so.1"_s, link},
        {"Folderpick by its plain name", folder + u"/libfolderpick.so"_s, link},
        {"command linkhauler", u"/usr/bin/linkhauler"_s, link},
        {"command linkhauler-run", u"/usr/bin/linkhauler-run"_s, link},
        {"manual page of linkhauler", u"/usr/share/man/man1/linkhauler.1.gz"_s, file},
        {"manual page of linkhauler-run", u"/usr/share/man/man1/linkhauler-run.1.gz"_s, file},
        {"menu entry", u"/usr/share/applications/linkhauler.desktop"_s, file},
        {"AppStream metainfo", u"/usr/share/metainfo/com.example.linkhauler.metainfo.xml"_s, file},
        {"bash completion", u"/usr/share/bash-completion/completions/linkhauler-run"_s, file},
        {"copyright", u"/usr/share/doc/linkhauler/copyright"_s, file},
        {"changelog", u"/usr/share/doc/linkhauler/changelog.gz"_s, file},
    };
    for (const char *size : {"16", "22", "24", "32", "48", "64", "128", "256"})
        entries.append(
            {size,
             u"/usr/share/icons/hicolor/%1x%1/apps/linkhauler.png"_s.arg(QLatin1StringView(size)),
             file, QByteArray(size).toInt()});
    return entries;
}

} // namespace

class TestPackage final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void holdsTheInstall_data();
    void holdsTheInstall();
    void holdsNothingElse();
    void metadataPasses_data();
    void metadataPasses();
    void loadedFilesAreDeclared_data();
    void loadedFilesAreDeclared();
    void handListedDependsAreLoaded_data();
    void handListedDependsAreLoaded();

private:
    QString Extracted(const QString &path) const { return m_scratch.path() + u"/root"_s + path; }
    // What the program maps once it runs, sampled once per program.
    void Sample(const QString &program);

    QTemporaryDir m_scratch;
    QString m_deb;
    QString m_depends;
    QMap<QString, QString> m_modeOf; // path in the package: mode and owner
    QMap<QString, QSet<QString>> m_samples;
};

void TestPackage::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    const ToolResult cpack = RunTool(QStringLiteral(LH_CPACK_COMMAND),
                                     {u"-G"_s, u"DEB"_s, u"--config"_s,
                                      QStringLiteral(LH_CPACK_CONFIG), u"-B"_s, m_scratch.path()},
                                     240000);
    QVERIFY2(cpack.exitCode == 0, cpack.out + cpack.err);
    const QString arch = QString::fromUtf8(
        RunTool(u"dpkg"_s, {u"--print-architecture"_s}).out.trimmed());
    m_deb = m_scratch.filePath(
        u"linkhauler_%1_%2.deb"_s.arg(QStringLiteral(LH_PACKAGE_VERSION), arch));
    QVERIFY2(QFileInfo::exists(m_deb), qPrintable(u"no "_s + m_deb));

    const ToolResult fields = RunTool(u"dpkg-deb"_s, {u"-f"_s, m_deb, u"Depends"_s});
    m_depends = QString::fromUtf8(fields.out).simplified();
    QVERIFY2(!m_depends.isEmpty(), fields.err.constData());
    QVERIFY(RunTool(u"dpkg-deb"_s, {u"-x"_s, m_deb, m_scratch.filePath(u"root"_s)}).exitCode == 0);
    // "-rwxr-xr-x root/root 123 2026-01-01 00:00 ./usr/bin/x -> y": mode, owner and path.
    for (const QByteArray &line : RunTool(u"dpkg-deb"_s, {u"-c"_s, m_deb}).out.split('\n')) {
        const QList<QByteArray> columns = line.simplified().split(' ');
        if (columns.size() >= 6 && !columns[0].startsWith('d'))
            m_modeOf.insert(QString::fromUtf8(columns[5].mid(1)),
                            QString::fromUtf8(columns[0] + ' ' + columns[1]));
    }
    QVERIFY(!m_modeOf.isEmpty());
}

void TestPackage::holdsTheInstall_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("iconSize");
    for (const Entry &entry : ExpectedEntries()) {
        if (entry.iconSize > 0)
            QTest::addRow("icon %dx%d", entry.iconSize, entry.iconSize)
                << entry.path << entry.mode << entry.iconSize;
        else
            QTest::newRow(entry.name) << entry.path << entry.mode << 0;
    }
}

void TestPackage::holdsTheInstall()
{
    QFETCH(QString, path);
    QFETCH(QString, mode);
    QFETCH(int, iconSize);
    QVERIFY2(m_modeOf.contains(path), qPrintable(u"missing: "_s + path));
    QCOMPARE(m_modeOf.value(path), mode + u" root/root"_s);
    // A link leads to a file of the package, not to a build tree.
    const QFileInfo extracted(Extracted(path));
    QVERIFY2(extracted.canonicalFilePath().startsWith(Extracted(u"/usr/"_s)),
             qPrintable(extracted.symLinkTarget()));
    if (iconSize > 0)
        QCOMPARE(QImage(extracted.filePath()).size(), QSize(iconSize, iconSize));
}

void TestPackage::holdsNothingElse()
{
    QSet<QString> expected;
    for (const Entry &entry : ExpectedEntries())
        expected.insert(entry.path);
    const QString help = QStringLiteral(LH_PROGRAM_DIR) + u"/Help/"_s;
    QDirIterator pages(QStringLiteral(LH_SOURCE_DIR) + u"/Help"_s, QDir::Files,
                       QDirIterator::Subdirectories);
    while (pages.hasNext())
        expected.insert(help + pages.next().section(u"/Help/"_s, -1));
    QStringList unexpected;
    for (auto it = m_modeOf.cbegin(); it != m_modeOf.cend(); ++it)
        if (!expected.remove(it.key()))
            unexpected << it.key();
    QVERIFY2(unexpected.isEmpty(),
             qPrintable(u"not part of the install: "_s + unexpected.join(u", "_s)));
    QVERIFY2(expected.isEmpty(), qPrintable(u"missing: "_s + expected.values().join(u", "_s)));
}

void TestPackage::metadataPasses_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("desktop entry")
        << u"desktop-file-validate"_s
        << QStringList{Extracted(u"/usr/share/applications/linkhauler.desktop"_s)};
    QTest::newRow("AppStream metainfo")
        << u"appstreamcli"_s
        << QStringList{u"validate"_s, u"--no-net"_s,
                       Extracted(u"/usr/share/metainfo/com.example.linkhauler.metainfo.xml"_s)};
    // CPack has every package with a library under /usr/lib call ldconfig, also for a program's
    // private folder, where it finds nothing to do.
    QTest::newRow("lintian") << u"lintian"_s
                             << QStringList{u"--fail-on"_s, u"error,warning"_s,
                                            u"--suppress-tags"_s, u"maintscript-calls-ldconfig"_s,
                                            m_deb};
}

void TestPackage::metadataPasses()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(),
             qPrintable(tool + u" is missing (./setup.sh test installs it)"_s));
    const ToolResult result = RunTool(tool, arguments, 240000);
    QVERIFY2(result.exitCode == 0, result.out + result.err);
}

void TestPackage::loadedFilesAreDeclared_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("linkhauler-run, one page with an archive") << u"linkhauler-run"_s;
    QTest::newRow("window program with its help pane") << u"linkhauler"_s;
}

void TestPackage::loadedFilesAreDeclared()
{
    QFETCH(QString, program);
    Sample(program);
    if (QTest::currentTestFailed())
        return;
    const QSet<QString> &files = m_samples[program];
    const QMap<QString, QStringList> owners = OwnersOf(files.values());
    const QSet<QString> closure = DependsClosure(m_depends);
    QStringList undeclared;
    QStringList unowned;
    for (const QString &file : files) {
        if (!owners.contains(file)) {
            if (!IsGeneratedCache(file))
                unowned << file;
            continue;
        }
        const QStringList packages = owners.value(file);
        if (std::none_of(packages.cbegin(), packages.cend(),
                         [&](const QString &p) { return closure.contains(p); }))
            undeclared << file + u" ("_s + packages.join(u", "_s) + u')';
    }
    // Guards against a sample that saw nothing: the engine alone maps hundreds of files.
    QVERIFY2(owners.size() > 100, qPrintable(QString::number(owners.size())));
    QVERIFY2(undeclared.isEmpty(),
             qPrintable(u"mapped, but apt would not install: "_s + undeclared.join(u", "_s)));
    QVERIFY2(unowned.isEmpty(),
             qPrintable(u"mapped, but no package holds: "_s + unowned.join(u", "_s)));
}

void TestPackage::handListedDependsAreLoaded_data()
{
    QTest::addColumn<QString>("package");
    for (const QString &package : QStringLiteral(LH_LOADED_DEPENDS).split(u' ', Qt::SkipEmptyParts))
        QTest::newRow(qPrintable(package)) << package;
}

void TestPackage::handListedDependsAreLoaded()
{
    QFETCH(QString, package);
    QVERIFY2(m_depends.contains(package), qPrintable(m_depends));
    QSet<QString> files;
    for (const QString &program : {u"linkhauler-run"_s, u"linkhauler"_s}) {
        Sample(program);
        if (QTest::currentTestFailed())
            return;
        files.unite(m_samples[program]);
    }
    const QMap<QString, QStringList> owners = OwnersOf(files.values());
    const bool loaded = std::any_of(owners.cbegin(), owners.cend(),
                                    [&](const QStringList &p) { return p.contains(package); });
    QVERIFY2(loaded, qPrintable(package + u" is declared, but no file of it was mapped"_s));
}

void TestPackage::Sample(const QString &program)
{
    if (m_samples.contains(program))
        return;
    const QString home = m_scratch.filePath(u"home-"_s + program);
    QVERIFY(QDir().mkpath(home));
    QVERIFY(QFile::setPermissions(
        home, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home);
    env.insert(u"XDG_CONFIG_HOME"_s, home + u"/config"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, home);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);

    TestHttpServer server;
    // The link's download never answers, so the run stands still with its page loaded.
    server.addPage(u"/one.htm"_s,
                   "<html><body><p>One page</p><a href=\"/hang\">x</a></body></html>");
    QVERIFY(server.start());
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments;
    if (program == "linkhauler-run"_L1)
        arguments = {u"-a"_s,        server.url(u"/one.htm"_s),
                     u"-e"_s,        u"hang"_s,
                     u"-x"_s,        u"bin"_s,
                     u"-o"_s,        home + u"/out"_s,
                     u"--archive"_s, home + u"/seen.sqlite"_s,
                     u"-q"_s};
    process.start(Extracted(QStringLiteral(LH_PROGRAM_DIR) + u'/' + program), arguments);
    QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
    const auto ready = [&] {
        if (program == "linkhauler-run"_L1)
            return server.requestCount(u"/hang"_s) > 0;
        // The window has loaded once it has recorded that the help pane opened.
        QFile settings(home + u"/config/Linkhauler/Linkhauler.conf"_s);
        return settings.open(QIODevice::ReadOnly) && settings.readAll().contains("ShowHelp=False");
    };
    QTRY_VERIFY_WITH_TIMEOUT(ready() || process.state() == QProcess::NotRunning, 90000);
    QVERIFY2(process.state() == QProcess::Running, process.readAll().constData());
    // Then until the page's helper processes are up and have mapped the engine's resources.
    QSet<QString> files;
    const auto rendering = [&] {
        files.unite(MappedFiles(process.processId()));
        return std::any_of(
                   files.cbegin(), files.cend(),
                   [](const QString &f) { return f.endsWith("/qtwebengine_resources.pak"_L1); })
            && std::any_of(files.cbegin(), files.cend(),
                           [](const QString &f) { return f.endsWith("/QtWebEngineProcess"_L1); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(rendering(), 60000);
    files.unite(MappedFiles(process.processId()));
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    // The program's own files, its scratch files and the kernel's are no package's.
    const QString scratch = m_scratch.path() + u'/';
    for (auto it = files.begin(); it != files.end();) {
        if (it->startsWith(scratch) || it->startsWith("/dev/"_L1) || it->startsWith("/proc/"_L1)
            || it->startsWith("/memfd:"_L1) || it->startsWith("/SYSV"_L1)
            || it->startsWith("/tmp/"_L1))
            it = files.erase(it);
        else
            ++it;
    }
    m_samples.insert(program, files);
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
