// The address fields: what typing may put into them, and what is left alone.
#include <QApplication>
#include <QClipboard>
#include <QtTest>

#include "console/address_edit.h"

class AddressEditTest : public QObject {
    Q_OBJECT

  private slots:
    void hexFieldTakesUpToEightHexDigitsInUpperCase() {
        HexAddressEdit field;
        QTest::keyClicks(&field, QStringLiteral("a1 g-f0x"));
        QCOMPARE(field.text(), QStringLiteral("A1F0"));
        QTest::keyClicks(&field, QStringLiteral("bcdef9"));
        QCOMPARE(field.text(), QStringLiteral("A1F0BCDE"));  // the ninth digit and later refused
        QTest::keyClick(&field, Qt::Key_Backspace);
        QCOMPARE(field.text(), QStringLiteral("A1F0BCD"));
        QTest::keyClick(&field, Qt::Key_9);
        QCOMPARE(field.text(), QStringLiteral("A1F0BCD9"));

        // Eight characters selected: the whole text counts, so a digit is still refused.
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_5);
        QCOMPARE(field.text(), QStringLiteral("A1F0BCD9"));
    }

    // A text set by the program may be longer than typing allows; typing then adds nothing
    // until characters are deleted.
    void longProfileTextRefusesTypingUntilShortened() {
        HexAddressEdit field;
        field.setText(QStringLiteral("0xF000100"));
        field.end(false);
        QTest::keyClick(&field, Qt::Key_1);
        QCOMPARE(field.text(), QStringLiteral("0xF000100"));
        QTest::keyClick(&field, Qt::Key_Backspace);
        QTest::keyClick(&field, Qt::Key_1);
        QCOMPARE(field.text(), QStringLiteral("0xF00010"));  // still 8 long
        QTest::keyClick(&field, Qt::Key_Backspace);
        QTest::keyClick(&field, Qt::Key_Backspace);
        QTest::keyClick(&field, Qt::Key_B);
        QCOMPARE(field.text(), QStringLiteral("0xF000B"));
    }

    // Editing keys and shortcuts are not typing: Delete, cursor keys and paste work as in
    // any field, and a paste is not filtered.
    void editingKeysAndPasteAreNotFiltered() {
        HexAddressEdit field;
        field.setText(QStringLiteral("1234"));
        field.home(false);
        QTest::keyClick(&field, Qt::Key_Delete);
        QCOMPARE(field.text(), QStringLiteral("234"));
        QApplication::clipboard()->setText(QStringLiteral("xyz"));
        QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(field.text(), QStringLiteral("xyz234"));
    }

    void readOnlyFieldIgnoresEveryTypedCharacter() {
        ReadOnlyTextEdit field;
        field.setText(QStringLiteral("18000"));
        QTest::keyClicks(&field, QStringLiteral("12abz "));
        QTest::keyClick(&field, Qt::Key_Backspace);
        QCOMPARE(field.text(), QStringLiteral("18000"));
        field.home(false);
        QTest::keyClick(&field, Qt::Key_Delete);
        QCOMPARE(field.text(), QStringLiteral("8000"));
    }
};

QTEST_MAIN(AddressEditTest)
#include "console_address_edit_test.moc"
