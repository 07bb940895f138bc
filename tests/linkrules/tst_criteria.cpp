#include "linkrules.h"

#include <QTest>

using namespace Qt::StringLiterals;

using linkrules::Criteria;
Q_DECLARE_METATYPE(linkrules::Criteria)

namespace {

Criteria Make(QStringList beginning, QStringList interior, QStringList end, bool or1 = true,
              bool or2 = true)
{
    return Criteria{std::move(beginning), std::move(interior), std::move(end), or1, or2};
}

} // namespace

class TestCriteria : public QObject
{
    Q_OBJECT

private slots:
    void checkExtension_data();
    void checkExtension();
    void operators_data();
    void operators();
    void trimList_data();
    void trimList();
};

void TestCriteria::checkExtension_data()
{
    QTest::addColumn<Criteria>("criteria");
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("kept");

    const Criteria ends = Make({}, {}, {u"zip"_s, u"exe"_s});
    QTest::newRow("no criteria") << Criteria{} << u"anything"_s << true;
    QTest::newRow("no criteria, empty link") << Criteria{} << QString() << true;
    QTest::newRow("end matches") << ends << u"files/a.zip"_s << true;
    QTest::newRow("end does not match") << ends << u"files/a.htm"_s << false;
    QTest::newRow("end is case-sensitive") << ends << u"setup.EXE"_s << false;
    QTest::newRow("end without a dot") << ends << u"unzip"_s << true;
    QTest::newRow("beginning alone suffices")
        << Make({u"/docs/"_s}, {}, {u"zip"_s}) << u"/docs/page.htm"_s << true;
    QTest::newRow("I and E needs both")
        << Make({}, {u"download"_s}, {u"zip"_s}, true, false) << u"download/a.htm"_s << false;
    QTest::newRow("B and I")
        << Make({u"http://"_s}, {u"download"_s}, {}, false, true) << u"http://host/download/a.htm"_s
        << true;
    QTest::newRow("B and I, neither")
        << Make({u"http://"_s}, {u"download"_s}, {}, false, true) << u"files/a.zip"_s << false;
    QTest::newRow("empty list under And rejects all")
        << Make({}, {u"a"_s}, {u"zip"_s}, false, false) << u"a.zip"_s << false;
    QTest::newRow("entry longer than the link") << Make({u"abcdef"_s}, {}, {}) << u"abc"_s << false;
    QTest::newRow("beginning equals the link") << Make({u"abc"_s}, {}, {}) << u"abc"_s << true;
    QTest::newRow("interior equals the link") << Make({}, {u"abc"_s}, {}) << u"abc"_s << true;
    QTest::newRow("later entry matches") << Make({u"x"_s, u"y"_s, u"a"_s}, {}, {}) << u"abc"_s << true;
    QTest::newRow("interior case-sensitive") << Make({}, {u"Down"_s}, {}) << u"download"_s << false;
    QTest::newRow("nothing trimmed") << Make({}, {}, {u"zip "_s}) << u"a.zip"_s << false;
}

void TestCriteria::checkExtension()
{
    QFETCH(Criteria, criteria);
    QFETCH(QString, link);
    QFETCH(bool, kept);
    QCOMPARE(linkrules::CheckExtension(link, criteria), kept);
}

// Every combination of B, I, E under each operator pair: And binds more tightly than Or.
void TestCriteria::operators_data()
{
    QTest::addColumn<bool>("or1");
    QTest::addColumn<bool>("or2");
    QTest::newRow("Or, Or") << true << true;
    QTest::newRow("Or, And") << true << false;
    QTest::newRow("And, Or") << false << true;
    QTest::newRow("And, And") << false << false;
}

void TestCriteria::operators()
{
    QFETCH(bool, or1);
    QFETCH(bool, or2);
    const Criteria criteria = Make({u"B"_s}, {u"I"_s}, {u"E"_s}, or1, or2);
    int compared = 0;
    for (int bits = 0; bits < 8; ++bits) {
        const bool b = bits & 1, i = bits & 2, e = bits & 4;
        // The link "B?I?E": each letter present decides its test alone.
        const QString link = (b ? u"B"_s : u"-"_s) + u"-"_s + (i ? u"I"_s : u"-"_s) + u"-"_s
            + (e ? u"E"_s : u"-"_s);
        bool expected;
        if (or1 && or2)
            expected = b || i || e;
        else if (or1)
            expected = b || (i && e);
        else if (or2)
            expected = (b && i) || e;
        else
            expected = b && i && e;
        QVERIFY2(linkrules::CheckExtension(link, criteria) == expected, qPrintable(link));
        ++compared;
    }
    QCOMPARE(compared, 8);
}

void TestCriteria::trimList_data()
{
    QTest::addColumn<Criteria>("criteria");
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QStringList>("kept");

    const Criteria zip = Make({}, {}, {u"zip"_s});
    QTest::newRow("all pass") << zip << QStringList{u"a.zip"_s, u"b.zip"_s}
                              << QStringList{u"a.zip"_s, u"b.zip"_s};
    QTest::newRow("empty list") << zip << QStringList{} << QStringList{};
    QTest::newRow("all fail") << zip << QStringList{u"a"_s, u"b"_s} << QStringList{};
    QTest::newRow("order kept, duplicates independent")
        << zip << QStringList{u"1.zip"_s, u"x"_s, u"1.zip"_s, u"y"_s, u"2.zip"_s, u"x"_s}
        << QStringList{u"1.zip"_s, u"1.zip"_s, u"2.zip"_s};
    QTest::newRow("no criteria keeps all") << Criteria{} << QStringList{u"a"_s, QString()}
                                           << QStringList{u"a"_s, QString()};
}

void TestCriteria::trimList()
{
    QFETCH(Criteria, criteria);
    QFETCH(QStringList, links);
    QFETCH(QStringList, kept);
    linkrules::TrimList(links, criteria);
    QCOMPARE(links, kept);
}

QTEST_GUILESS_MAIN(TestCriteria)
#include "tst_criteria.moc"
