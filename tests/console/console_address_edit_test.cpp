// The address fields: what typing may put into them, and what is left alone.
#include <QApplication>
#include <QClipboard>
#include <QtTest>

#include "console/address_edit.h"

class AddressEditTest : public QObject {
    Q_OBJECT

  private slots:
    // The filter's rule is the core's (OperatorText.HexFieldCharacterFilter); here typed keys
    // reach it with the field's whole length, selected text included.
    void typingReachesTheFilterReadOnlyFieldTakesNothing() {
        HexAddressEdit field;
        QTest::keyClicks(&field, QStringLiteral("a1 g-f0xbcdef9"));
        QCOMPARE(field.text(), QStringLiteral("A1F0BCDE"));
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_5);
        QCOMPARE(field.text(), QStringLiteral("A1F0BCDE"));
        QTest::keyClick(&field, Qt::Key_Backspace);
        QCOMPARE(field.text(), QString());
        ReadOnlyTextEdit code;
        code.setText(QStringLiteral("18000"));
        QTest::keyClicks(&code, QStringLiteral("12abz "));
        QTest::keyClick(&code, Qt::Key_Backspace);
        QCOMPARE(code.text(), QStringLiteral("18000"));
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
