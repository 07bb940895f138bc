#pragma once

#include <QString>
#include <QStringList>

// The job as the main window's fields hold it, read live by validation, the filter
// and the run. Text fields come as typed; tick boxes are 0/1 (ticked means exactly 1);
// an option pair is read through its one consulted option.
class JobSettings
{
public:
    virtual ~JobSettings() = default;

    virtual QString txtAddress() const = 0;
    virtual int chkIncNum() const = 0;
    virtual QString txtStartNum() const = 0;
    virtual QString txtStopNum() const = 0;
    virtual QString txtIncrementNumerically() const = 0;
    virtual int chkIncAlpha() const = 0;
    virtual QString txtStartAlpha() const = 0;
    virtual QString txtStopAlpha() const = 0;
    virtual QString txtIncrementAlphabetically() const = 0;

    virtual QStringList lstBeginning() const = 0;
    virtual bool optOr1() const = 0;
    virtual QStringList lstInterior() const = 0;
    virtual bool optOr2() const = 0;
    virtual QStringList lstEnd() const = 0;

    virtual QString txtTimeOut() const = 0;
    virtual QString txtDefaultExtension() const = 0;
    virtual int chkOverwrite() const = 0;
    virtual int chkSaveLinks() const = 0;
    virtual QString txtSaveLinks() const = 0;
    virtual int chkSaveHREFs() const = 0;
    virtual bool optOneHREFPerFile() const = 0;
    virtual QString txtSaveHREFs() const = 0;
};

// Plain values with the window's initial state; for tests and for any caller that
// needs a job without a window.
struct JobFields
{
    QString address;
    int incNum = 0;
    QString startNum = QStringLiteral("1");
    QString stopNum = QStringLiteral("1");
    QString incrementNumerically = QStringLiteral("1");
    int incAlpha = 0;
    QString startAlpha = QStringLiteral("a");
    QString stopAlpha = QStringLiteral("a");
    QString incrementAlphabetically = QStringLiteral("1");
    QStringList beginning;
    bool or1 = true;
    QStringList interior;
    bool or2 = true;
    QStringList end;
    QString timeOut = QStringLiteral("60");
    QString defaultExtension;
    int overwrite = 0;
    int saveLinks = 0;
    QString saveLinksFolder;
    int saveHREFs = 0;
    bool oneHREFPerFile = false;
    QString saveHREFsFolder;
};

class PlainJobSettings final : public JobSettings
{
public:
    JobFields f;

    PlainJobSettings() = default;
    explicit PlainJobSettings(JobFields fields) : f(std::move(fields)) {}

    QString txtAddress() const override { return f.address; }
    int chkIncNum() const override { return f.incNum; }
    QString txtStartNum() const override { return f.startNum; }
    QString txtStopNum() const override { return f.stopNum; }
    QString txtIncrementNumerically() const override { return f.incrementNumerically; }
    int chkIncAlpha() const override { return f.incAlpha; }
    QString txtStartAlpha() const override { return f.startAlpha; }
    QString txtStopAlpha() const override { return f.stopAlpha; }
    QString txtIncrementAlphabetically() const override { return f.incrementAlphabetically; }
    QStringList lstBeginning() const override { return f.beginning; }
    bool optOr1() const override { return f.or1; }
    QStringList lstInterior() const override { return f.interior; }
    bool optOr2() const override { return f.or2; }
    QStringList lstEnd() const override { return f.end; }
    QString txtTimeOut() const override { return f.timeOut; }
    QString txtDefaultExtension() const override { return f.defaultExtension; }
    int chkOverwrite() const override { return f.overwrite; }
    int chkSaveLinks() const override { return f.saveLinks; }
    QString txtSaveLinks() const override { return f.saveLinksFolder; }
    int chkSaveHREFs() const override { return f.saveHREFs; }
    bool optOneHREFPerFile() const override { return f.oneHREFPerFile; }
    QString txtSaveHREFs() const override { return f.saveHREFsFolder; }
};
