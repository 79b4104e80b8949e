// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the shared number helpers.
#include "common/commonmodule.h"

#include <QtTest>
#include <limits>

class TestCommonModule : public QObject
{
    Q_OBJECT
private slots:
    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("blanks inside") << "1 2 3" << 123.0;
        QTest::newRow("blank after sign") << "- 5" << -5.0;
        QTest::newRow("tab and LF vanish, CR ends") << "\t4\n2\r9" << 42.0;
        QTest::newRow("fraction") << "-2.5" << -2.5;
        QTest::newRow("point first") << "+.5" << 0.5;
        QTest::newRow("point last") << "5." << 5.0;
        QTest::newRow("E exponent") << "1.5E2" << 150.0;
        QTest::newRow("D exponent") << "1D3" << 1000.0;
        QTest::newRow("d negative exponent") << "25d-1" << 2.5;
        QTest::newRow("exponent sign without digits") << "1E+" << 1.0;
        QTest::newRow("hex, stops at G") << "&hfFg1" << 255.0;
        QTest::newRow("octal, stops at 8") << "&O178" << 15.0;
        QTest::newRow("hex without digits") << "&HZ" << 0.0;
        QTest::newRow("hex saturates") << "&H" + QString(40, u'F') << 18446744073709551615.0;
        QTest::newRow("trailing garbage") << "1.2.3abc" << 1.2;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("sign only") << "+" << 0.0;
        QTest::newRow("point only") << "." << 0.0;
        QTest::newRow("two signs") << "--5" << 0.0;
        QTest::newRow("fullwidth digits") << QString::fromUtf8("１２") << 0.0;
        QTest::newRow("exponent overflow") << "-1E99999" << -inf;
        QTest::newRow("exponent underflow") << "1E-99999" << 0.0;
        QTest::newRow("exponent past 64 bits") << "1E" + QString(30, u'9') << inf;
        QTest::newRow("100000 digits") << QString(100000, u'9') << inf;
        QTest::newRow("tiny, long") << "0." + QString(100000, u'0') + "1" << 0.0;
        // Digits and exponent cancel out: only their sum may decide the range.
        QTest::newRow("long, cancelled") << "1" + QString(100000, u'0') + "E-100000" << 1.0;
        QTest::newRow("tiny, cancelled") << "0." + QString(100000, u'0') + "25E100001" << 2.5;
    }

    void leadingNumber()
    {
        // Guards against misreading a number form, or overflow and NaN on huge input.
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(CommonModule::leadingNumber(text), expected);
    }

    void intMaxMin_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("min");
        QTest::newRow("3 and -5") << 3 << -5 << 3 << -5;
        QTest::newRow("equal") << 7 << 7 << 7 << 7;
        QTest::newRow("extremes") << -32768 << 32767 << 32767 << -32768;
    }

    void intMaxMin()
    {
        // Guards against swapped or sign-confused comparisons.
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(int, max);
        QFETCH(int, min);
        QCOMPARE(int(CommonModule::IntMax(int16_t(a), int16_t(b))), max);
        QCOMPARE(int(CommonModule::IntMin(int16_t(a), int16_t(b))), min);
    }
};

QTEST_GUILESS_MAIN(TestCommonModule)
#include "tst_commonmodule.moc"
