#include "runfakes.h"

#include "diskfilestore.h"

#include <QEventLoop>
#include <QTimer>

using namespace Qt::StringLiterals;

QStringList FakeView::messages() const
{
    QStringList result;
    const QString prefix = kTime + u" -> "_s;
    for (const QString &line : log)
        result.append(line.startsWith(prefix) ? line.mid(prefix.size()) : u"?"_s + line);
    return result;
}

void FakeBrowser::Navigate(const QString &address)
{
    navigated.append(address);
    if (onNavigate)
        onNavigate(address);
    const auto it = pages.constFind(address);
    if (it == pages.constEnd() && !answerUnknown)
        return;
    const FakePage page = it == pages.constEnd() ? FakePage{} : *it;
    QTimer::singleShot(0, &m_context, [this, address, page] {
        location = page.location.isEmpty() ? address : page.location;
        markup = page.markup;
        run->OnDownloadComplete(page.result);
    });
}

void FakeBrowser::RequestMarkup(std::function<void(const QString &)> deliver)
{
    if (holdMarkup) {
        held.append(std::move(deliver));
        return;
    }
    QTimer::singleShot(0, &m_context, [deliver = std::move(deliver), text = markup] { deliver(text); });
}

Transfer::Result FakeTransfer::OpenURL(const QString &address)
{
    requested.append(address);
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    Result result;
    if (hangCount > 0) {
        --hangCount;
        QEventLoop loop;
        m_loop = &loop;
        if (whileOpen)
            QTimer::singleShot(0, &loop, whileOpen);
        loop.exec();
        m_loop = nullptr;
        result.code = 1042;
        result.description = u"Cancelled"_s;
    } else if (results.contains(address)) {
        result = results.value(address);
    } else {
        result.ok = true;
        result.content = defaultContent;
    }
    --depth;
    return result;
}

void FakeTransfer::SetRequestTimeout(int seconds)
{
    m_timeout = seconds;
    timeouts.append(seconds);
}

void FakeTransfer::Cancel()
{
    ++cancels;
    // The worker finishes a moment later, as a real one does.
    if (m_loop)
        QTimer::singleShot(0, m_loop, &QEventLoop::quit);
}

bool FakePrompt::AskContinue(const QString &text)
{
    texts.append(text);
    return answers.isEmpty() ? true : answers.takeFirst();
}

bool FakeFileStore::WriteWhole(const QString &path, const QByteArray &bytes, QString &error)
{
    if (failing.contains(path)) {
        error = u"Disk full: "_s + path;
        return false;
    }
    files[path] = bytes;
    return true;
}

bool FakeFileStore::WriteRecord(const QString &path, const QString &text, QString &error)
{
    return WriteWhole(path, RecordBytes(text), error);
}

bool FakeFileStore::AppendRecord(const QString &path, const QString &text, QString &error)
{
    if (failing.contains(path)) {
        error = u"Disk full: "_s + path;
        return false;
    }
    files[path] += RecordBytes(text);
    return true;
}

RunRig::RunRig(FileStore *store)
{
    job.f.address = u"http://h/d/p^N.htm"_s;
    job.f.defaultExtension = u"txt"_s;
    job.f.timeOut = u"5"_s;
    if (!store) {
        disk = std::make_unique<DiskFileStore>();
        store = disk.get();
    }
    RunPorts ports;
    ports.job = &job;
    ports.view = &view;
    ports.browser = &browser;
    ports.transfer = &transfer;
    ports.prompt = &prompt;
    ports.files = store;
    ports.errorCheck = [this] { return !refuse; };
    ports.timeOfDay = [] { return FakeView::kTime; };
    run = std::make_unique<ScrapeRun>(std::move(ports));
    browser.run = run.get();
}

QString ErrorText(int code, const QString &description)
{
    return u"An error has occurred.\r\n\r\nError: "_s + QString::number(code)
        + u"\r\nDescription: "_s + description + u"\r\n\r\nWould you like to continue?"_s;
}
