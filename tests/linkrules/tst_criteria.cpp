#include "linkrules.h"

#include <QTest>

using namespace Qt::StringLiterals;
using linkrules::Criteria;

Q_DECLARE_METATYPE(linkrules::Criteria)

namespace {

Criteria C(QStringList b, QStringList i = {}, QStringList e = {}, bool or1 = true, bool or2 = true)
{
    return Criteria{std::move(b), std::move(i), std::move(e), or1, or2};
}

} // namespace

class TestCriteria : public QObject
{
    Q_OBJECT

private slots:
    void checkExtension_data();
    void checkExtension();
    void operators();
    void trimList();
};

void TestCriteria::checkExtension_data()
{
    QTest::addColumn<Criteria>("criteria");
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("kept");
    const Criteria ends{{}, {}, {u"zip"_s, u"exe"_s}};
    const Criteria bAndI{{u"http://"_s}, {u"download"_s}, {}, false, true};
    QTest::newRow("no criteria") << Criteria{} << u"anything"_s << true;
    QTest::newRow("end matches") << ends << u"files/a.zip"_s << true;
    QTest::newRow("end does not match") << ends << u"files/a.htm"_s << false;
    QTest::newRow("end is case-sensitive") << ends << u"setup.EXE"_s << false;
    QTest::newRow("end without a dot") << ends << u"unzip"_s << true;
    QTest::newRow("beginning alone")
        << Criteria{{u"/docs/"_s}, {}, {u"zip"_s}} << u"/docs/page.htm"_s << true;
    QTest::newRow("I and E needs both")
        << Criteria{{}, {u"download"_s}, {u"zip"_s}, true, false} << u"download/a.htm"_s << false;
    QTest::newRow("B and I") << bAndI << u"http://host/download/a.htm"_s << true;
    QTest::newRow("B and I, neither") << bAndI << u"files/a.zip"_s << false;
    QTest::newRow("empty list under And")
        << Criteria{{}, {u"a"_s}, {u"zip"_s}, false, false} << u"a.zip"_s << false;
    QTest::newRow("entry longer than the link") << C({u"abcdef"_s}) << u"abc"_s << false;
    QTest::newRow("beginning is the link") << C({u"abc"_s}) << u"abc"_s << true;
    QTest::newRow("interior is the link") << C({}, {u"abc"_s}) << u"abc"_s << true;
    QTest::newRow("a later entry matches") << C({u"x"_s, u"a"_s}) << u"abc"_s << true;
    QTest::newRow("nothing trimmed") << Criteria{{}, {}, {u"zip "_s}} << u"a.zip"_s << false;
}

void TestCriteria::checkExtension()
{
    QFETCH(Criteria, criteria);
    QFETCH(QString, link);
    QFETCH(bool, kept);
    QCOMPARE(linkrules::CheckExtension(link, criteria), kept);
}

// All eight outcomes of B, I, E under each of the four operator pairs; And binds tighter.
void TestCriteria::operators()
{
    int compared = 0;
    for (const bool or1 : {true, false}) {
        for (const bool or2 : {true, false}) {
            const Criteria criteria{{u"B"_s}, {u"I"_s}, {u"E"_s}, or1, or2};
            for (int bits = 0; bits < 8; ++bits) {
                const bool b = bits & 1, i = bits & 2, e = bits & 4;
                const QString link = (b ? u"B-"_s : u"--"_s) + (i ? u"I-"_s : u"--"_s)
                    + (e ? u"E"_s : u"-"_s);
                const bool expected = or1 ? (or2 ? b || i || e : b || (i && e))
                                          : (or2 ? (b && i) || e : b && i && e);
                QVERIFY2(linkrules::CheckExtension(link, criteria) == expected, qPrintable(link));
                ++compared;
            }
        }
    }
    QCOMPARE(compared, 32);
}

void TestCriteria::trimList()
{
    const Criteria zip{{}, {}, {u"zip"_s}};
    QStringList links{u"1.zip"_s, u"x"_s, u"1.zip"_s, u"y"_s, u"2.zip"_s, u"x"_s};
    linkrules::TrimList(links, zip);
    QCOMPARE(links, (QStringList{u"1.zip"_s, u"1.zip"_s, u"2.zip"_s}));
    QStringList none;
    linkrules::TrimList(none, zip);
    QVERIFY(none.isEmpty());
    QStringList failing{u"a"_s, u"b"_s};
    linkrules::TrimList(failing, zip);
    QVERIFY(failing.isEmpty());
    QStringList all{u"a"_s, QString()};
    linkrules::TrimList(all, Criteria{});
    QCOMPARE(all.size(), 2);
}

QTEST_GUILESS_MAIN(TestCriteria)
#include "tst_criteria.moc"
