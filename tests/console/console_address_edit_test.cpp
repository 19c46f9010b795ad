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

    void readOnlyFieldIgnoresEveryTypedCharacter() {
        ReadOnlyTextEdit field;
        field.setText(QStringLiteral("18000"));
        QTest::keyClicks(&field, QStringLiteral("12abz "));
        QTest::keyClick(&field, Qt::Key_Backspace);
        QCOMPARE(field.text(), QStringLiteral("18000"));
    }

    // Keyboard shortcuts type control characters, which both fields drop, and Alt or Meta
    // presses belong to the window: none of them changes the text. Key-down editing (Delete)
    // works as in any field.
    void shortcutsChangeNothingEditingKeysWork() {
        QApplication::clipboard()->setText(QStringLiteral("/home/op/images/font.fnt"));
        HexAddressEdit hex;
        ReadOnlyTextEdit code;
        for (QLineEdit* field : {static_cast<QLineEdit*>(&hex), static_cast<QLineEdit*>(&code)}) {
            field->setText(QStringLiteral("12345"));
            field->home(false);
            QTest::keyClick(field, Qt::Key_Delete);
            QCOMPARE(field->text(), QStringLiteral("2345"));
            for (const char* keys : {"Ctrl+V", "Ctrl+X", "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+Y",
                                     "Ctrl+K", "Ctrl+Backspace", "Alt+A", "Meta+B"}) {
                field->selectAll();
                QTest::keySequence(field, QKeySequence(QString::fromLatin1(keys)));
                QVERIFY2(field->text() == QStringLiteral("2345"), keys);
            }
        }
    }
};

QTEST_MAIN(AddressEditTest)
#include "console_address_edit_test.moc"
