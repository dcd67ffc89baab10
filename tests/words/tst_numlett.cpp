#include "currency.h"
#include "numlett.h"

#include <QTest>

#include <limits>
#include <stdexcept>
#include <vector>

Q_DECLARE_METATYPE(Currency)

namespace {

// Shorthand for rows whose value is a whole number.
Currency whole(qint64 n)
{
    return Currency::fromWhole(n);
}

} // namespace

// Checks the number words the drill reads out and the money parsing behind them.
class TestNumlett : public QObject
{
    Q_OBJECT

private slots:
    void spelling_data();
    void spelling();
    void everyValueBelowAMillion();
    void fromText_data();
    void fromText();
    void fromTextRejects_data();
    void fromTextRejects();
    void fromWholeRejectsOverflow();
};

void TestNumlett::spelling_data()
{
    QTest::addColumn<Currency>("value");
    QTest::addColumn<QString>("expected");

    // Worked examples the words must match letter for letter.
    QTest::newRow("4 spelt quattro") << whole(4) << "quattro";
    QTest::newRow("10 spelt dieci") << whole(10) << "dieci";
    QTest::newRow("17 spelt diciassette") << whole(17) << "diciassette";
    QTest::newRow("20 spelt venti") << whole(20) << "venti";
    QTest::newRow("elision before uno") << whole(21) << "ventuno";
    QTest::newRow("no accent on tre") << whole(23) << "ventitre";
    QTest::newRow("elision before otto") << whole(28) << "ventotto";
    QTest::newRow("30 spelt trenta") << whole(30) << "trenta";
    QTest::newRow("38 spelt trentotto") << whole(38) << "trentotto";
    QTest::newRow("40 spelt quaranta") << whole(40) << "quaranta";
    QTest::newRow("81 spelt ottantuno") << whole(81) << "ottantuno";
    QTest::newRow("99 spelt novantanove") << whole(99) << "novantanove";
    QTest::newRow("100 spelt cento") << whole(100) << "cento";
    QTest::newRow("cento keeps its o before uno") << whole(101) << "centouno";
    QTest::newRow("cento keeps its o before otto") << whole(108) << "centootto";
    QTest::newRow("111 spelt centoundici") << whole(111) << "centoundici";
    QTest::newRow("128 spelt centoventotto") << whole(128) << "centoventotto";
    QTest::newRow("cento keeps its o before ottanta") << whole(180) << "centoottanta";
    QTest::newRow("281 spelt duecentoottantuno") << whole(281) << "duecentoottantuno";
    QTest::newRow("1000 spelt mille") << whole(1000) << "mille";
    QTest::newRow("1001 spelt milleuno") << whole(1001) << "milleuno";
    QTest::newRow("2000 spelt duemila") << whole(2000) << "duemila";
    QTest::newRow("2021 spelt duemilaventuno") << whole(2021) << "duemilaventuno";
    QTest::newRow("17000 spelt diciassettemila") << whole(17000) << "diciassettemila";
    QTest::newRow("elided ventuno before mila") << whole(21000) << "ventunomila";
    QTest::newRow("101000 spelt centounomila") << whole(101000) << "centounomila";
    QTest::newRow("1000001 spelt unmilioneuno") << whole(1000001) << "unmilioneuno";
    QTest::newRow("2000000 spelt duemilioni") << whole(2000000) << "duemilioni";
    QTest::newRow("elided ventuno before milioni") << whole(21000000) << "ventunomilioni";
    QTest::newRow("1000000000 spelt unmiliardo") << whole(1000000000) << "unmiliardo";
    QTest::newRow("2000000000 spelt duemiliardi") << whole(2000000000) << "duemiliardi";
    QTest::newRow("group of one at every scale")
        << whole(1001001001) << "unmiliardounmilionemilleuno";
    QTest::newRow("largest spelt value")
        << whole(999999999999)
        << "novecentonovantanovemiliardinovecentonovantanovemilioni"
           "novecentonovantanovemilanovecentonovantanove";
    QTest::newRow("decimals ignored") << Currency::fromText("4.75") << "quattro";
    QTest::newRow("zero is empty") << whole(0) << "";
    QTest::newRow("below one is empty") << Currency::fromText("0.5") << "";
    QTest::newRow("negative is empty") << Currency::fromText("-5") << "";

    // Elision only ever eats the vowel of a tens word before uno and otto.
    QTest::newRow("no elision before due") << whole(22) << "ventidue";
    QTest::newRow("no elision before nove") << whole(29) << "ventinove";
    QTest::newRow("elision in trentuno") << whole(31) << "trentuno";
    QTest::newRow("elision in quarantotto") << whole(48) << "quarantotto";
    QTest::newRow("elision in novantotto") << whole(98) << "novantotto";
    QTest::newRow("cento keeps its o after mille") << whole(1108) << "millecentootto";
    QTest::newRow("1000000 spelt unmilione") << whole(1000000) << "unmilione";
    QTest::newRow("group of one after a larger group") << whole(2001001) << "duemilionimilleuno";
    QTest::newRow("hundreds of thousand millions")
        << whole(121000000000) << "centoventunomiliardi";
    QTest::newRow("just below one is empty") << Currency{Currency::scale - 1} << "";
    QTest::newRow("just below two is uno") << Currency{2 * Currency::scale - 1} << "uno";
    QTest::newRow("decimals ignored below a thousand millions")
        << Currency::fromText("999999999999.9999")
        << "novecentonovantanovemiliardinovecentonovantanovemilioni"
           "novecentonovantanovemilanovecentonovantanove";
    QTest::newRow("most negative is empty")
        << Currency{std::numeric_limits<qint64>::min()} << "";
    QTest::newRow("10^12 is empty") << whole(1000000000000) << "";
    QTest::newRow("largest whole value is empty") << whole(922337203685477) << "";
    QTest::newRow("largest value is empty")
        << Currency{std::numeric_limits<qint64>::max()} << "";
}

void TestNumlett::spelling()
{
    QFETCH(Currency, value);
    QFETCH(QString, expected);

    QCOMPARE(numlett(value), expected);
}

void TestNumlett::everyValueBelowAMillion()
{
    std::vector<QString> belowThousand(1000);
    QString thousands;
    for (qint64 n = 1; n < 1000000; ++n) {
        const QString s = numlett(Currency::fromWhole(n));
        const auto fail = [&](const char *why) {
            QFAIL(qPrintable(QStringLiteral("%1 -> \"%2\": %3").arg(n).arg(s, why)));
        };
        if (s.isEmpty())
            return fail("empty");
        if (s.contains(u' '))
            return fail("contains a blank");
        for (const char16_t *bad : {u"ventiuno", u"ventiotto", u"tauno", u"taotto"}) {
            if (s.contains(QStringView(bad)))
                return fail("missing elision");
        }

        const qint64 k = n / 1000;
        const qint64 r = n % 1000;
        if (k == 0) {
            belowThousand[r] = s;
        } else if (r == 0) {
            thousands = s;
        } else if (s != thousands + belowThousand[r]) {
            return fail("not the thousands followed by the remainder");
        }
    }
}

void TestNumlett::fromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("tenThousandths");

    QTest::newRow("plain digits") << "42" << qint64(420000);
    QTest::newRow("zero") << "0" << qint64(0);
    QTest::newRow("leading zeros") << "007" << qint64(70000);
    QTest::newRow("two decimals") << "4.75" << qint64(47500);
    QTest::newRow("four decimals") << "1.2345" << qint64(12345);
    QTest::newRow("no whole digits") << ".5" << qint64(5000);
    QTest::newRow("no decimal digits") << "5." << qint64(50000);
    QTest::newRow("half rounds down to even") << "0.00025" << qint64(2);
    QTest::newRow("half rounds up to even") << "0.00015" << qint64(2);
    QTest::newRow("above half rounds up") << "0.000251" << qint64(3);
    QTest::newRow("far digit above half rounds up") << "0.00025000001" << qint64(3);
    QTest::newRow("below half rounds down") << "0.00024999" << qint64(2);
    QTest::newRow("rounding carries into the units") << "1.99995" << qint64(20000);
    QTest::newRow("many decimals do not overflow")
        << "0.12349999999999999999999999" << qint64(1235);
    QTest::newRow("negative half rounds to even") << "-0.00015" << qint64(-2);
    QTest::newRow("minus sign") << "-5" << qint64(-50000);
    QTest::newRow("plus sign") << "+7" << qint64(70000);
    QTest::newRow("negative zero") << "-0" << qint64(0);
    QTest::newRow("blanks around") << "  12.5  " << qint64(125000);
    QTest::newRow("tabs around") << "\t3\t" << qint64(30000);
    QTest::newRow("largest") << "922337203685477.5807" << std::numeric_limits<qint64>::max();
    QTest::newRow("half at the top stays even")
        << "922337203685477.58065" << qint64(9223372036854775806);
    QTest::newRow("smallest") << "-922337203685477.5808" << std::numeric_limits<qint64>::min();
}

void TestNumlett::fromText()
{
    QFETCH(QString, text);
    QFETCH(qint64, tenThousandths);

    QCOMPARE(Currency::fromText(text).tenThousandths, tenThousandths);
}

void TestNumlett::fromTextRejects_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << "";
    QTest::newRow("only blanks") << "   ";
    QTest::newRow("letters") << "abc";
    QTest::newRow("trailing letter") << "12a";
    QTest::newRow("sign alone") << "-";
    QTest::newRow("dot alone") << ".";
    QTest::newRow("two dots") << "1.2.3";
    QTest::newRow("blank inside") << "1 2";
    QTest::newRow("blank after sign") << "- 1";
    QTest::newRow("two signs") << "+-1";
    QTest::newRow("exponent") << "1e3";
    QTest::newRow("one past the largest") << "922337203685477.5808";
    QTest::newRow("one below the smallest") << "-922337203685477.5809";
    QTest::newRow("rounding past the largest") << "922337203685477.58075";
    QTest::newRow("rounding below the smallest") << "-922337203685477.580851";
    QTest::newRow("beyond 64 bits") << "99999999999999999999";
}

void TestNumlett::fromTextRejects()
{
    QFETCH(QString, text);

    try {
        Currency::fromText(text);
    } catch (const std::invalid_argument &e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(u'"' + text + u'"'), e.what());
        return;
    }
    QFAIL("accepted");
}

void TestNumlett::fromWholeRejectsOverflow()
{
    QCOMPARE(Currency::fromWhole(-922337203685477).tenThousandths, qint64(-9223372036854770000));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, Currency::fromWhole(922337203685478));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, Currency::fromWhole(-922337203685478));
}

QTEST_GUILESS_MAIN(TestNumlett)
#include "tst_numlett.moc"
