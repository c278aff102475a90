// The text plug-in as the host uses it: the built library loaded with dlopen, its panel made in a
// host window offscreen and driven through its real widgets.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>

#include "tests/plugin_text_audio/panel_test_support.h"
#include "tests/plugin_text_audio/plugin_test_support.h"
#include "tests/plugins/plugin_library.h"

namespace kestrova::testing {
namespace {

using namespace std::string_view_literals;

class TextPluginTest : public PanelTest {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.complete()) << plugin.error; }

    QPlainTextEdit* Editor(QWidget* panel) {
        return panel->findChild<QPlainTextEdit*>(QStringLiteral("textEditor"));
    }
    // Types `keys` at the end of the text as key presses (their text, so that any character can
    // be typed).
    void TypeAtEnd(QPlainTextEdit* editor, const QString& keys) {
        editor->moveCursor(QTextCursor::End);
        for (QChar key : keys) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(key));
            QApplication::sendEvent(editor, &press);
        }
    }

    PluginLibrary plugin{KESTROVA_TEXT_PLUGIN};
};

TEST_F(TextPluginTest, ConvertsWithoutAPanel) {
    const Bytes rest = {0, 0, 0, 0, 7, 0, 0, 0};
    const Bytes body = TextBodyOf("Shader \"Hidden/Demo\" { }\n", rest);
    EXPECT_EQ(plugin.Open(nullptr, body), nullptr);
    EXPECT_EQ(plugin.assetChanged(), 0);
    EXPECT_EQ(plugin.Export(u"txt"), AsBytes("Shader \"Hidden/Demo\" { }\n"));
    EXPECT_FALSE(plugin.Export(u"png"));
    EXPECT_EQ(plugin.Data(), body);

    EXPECT_EQ(plugin.Import(AsBytes("replaced"), u"txt"), TextBodyOf("replaced", rest));
    EXPECT_EQ(plugin.Export(u"txt"), AsBytes("replaced"));
    EXPECT_EQ(plugin.Import({}, u"txt"), TextBodyOf("", rest));

    // The "Mod" panel mode's calls: a name, a type id in *length, a path id as the extension.
    std::int32_t typeId = 0x31;
    EXPECT_EQ(plugin.importData(u"level0", &typeId, u"12"), nullptr);
    EXPECT_EQ(typeId, 0x31);
    std::int32_t negative = -5;
    EXPECT_EQ(plugin.importData("x", &negative, u"txt"), nullptr);
}

TEST_F(TextPluginTest, DamagedBodyShowsItsMessageAndIsNeverEmptied) {
    const Bytes damaged = {200, 0, 0, 0, 'a', 'b'};
    QWidget* panel = plugin.Open(host.get(), damaged);
    Place(panel);
    auto* message = panel->findChild<QLabel*>(QStringLiteral("damagedMessage"));
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->text().contains(QStringLiteral("200")));
    EXPECT_EQ(Editor(panel), nullptr);
    EXPECT_FALSE(plugin.Export(u"txt"));
    EXPECT_FALSE(plugin.Import(AsBytes("text"), u"txt"));
    EXPECT_EQ(plugin.assetChanged(), 0);
    EXPECT_FALSE(plugin.Data());
    SaveScreenshot(panel, "plugin_text_damaged");
}

TEST_F(TextPluginTest, EditsReachTheHostWithTheirLineBreaksAndSurviveThePanel) {
    const Bytes rest = {9, 9, 9, 9};
    const Bytes body = TextBodyOf("Shader \"Demo\" {\r\n  Pass { }\r\n}\r\n", rest);
    QWidget* panel = plugin.Open(host.get(), body);
    Place(panel);
    QPlainTextEdit* editor = Editor(panel);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("Shader \"Demo\" {\n  Pass { }\n}\n"));
    // Whatever monospaced family the machine resolves, every character sets in one column width.
    EXPECT_EQ(UnequalAdvances(editor->font(), PrintableLatin1()), QString());
    EXPECT_EQ(plugin.assetChanged(), 0);

    TypeAtEnd(editor, QStringLiteral("// note"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(plugin.assetChanged(), 1);
    EXPECT_EQ(plugin.Data(),
              TextBodyOf("Shader \"Demo\" {\r\n  Pass { }\r\n}\r\n// note\r\n", rest));
    SaveScreenshot(panel, "plugin_text_panel");

    // Undone to the start, the text is the stored one again.
    while (editor->document()->isUndoAvailable()) {
        editor->undo();
    }
    EXPECT_EQ(plugin.assetChanged(), 0);

    // The host may destroy the panel before it asks: the edit is still handed over.
    TypeAtEnd(editor, QStringLiteral("x"));
    delete panel;
    EXPECT_EQ(plugin.assetChanged(), 1);
    EXPECT_EQ(plugin.Export(u"txt"), AsBytes("Shader \"Demo\" {\r\n  Pass { }\r\n}\r\nx"));
}

TEST_F(TextPluginTest, Utf8OptionShowsAndStoresUtf8AndIsOfferedOnlyForValidUtf8) {
    QWidget* panel = plugin.Open(host.get(), TextBodyOf("Gr\xC3\xBC\xC3\x9F"
                                                        "e\n"));
    Place(panel);
    QPlainTextEdit* editor = Editor(panel);
    auto* utf8 = panel->findChild<QCheckBox*>(QStringLiteral("utf8Box"));
    ASSERT_TRUE(editor && utf8);
    EXPECT_EQ(editor->toPlainText(), QString::fromUtf16(u"GrÃ¼Ã\u009Fe\n"));
    ASSERT_TRUE(utf8->isEnabled());
    QTest::mouseClick(utf8, Qt::LeftButton, {}, QPoint(4, utf8->height() / 2));
    EXPECT_TRUE(utf8->isChecked());
    EXPECT_EQ(editor->toPlainText(), QString::fromUtf16(u"Grüße\n"));
    EXPECT_EQ(plugin.assetChanged(), 0);

    TypeAtEnd(editor, QString::fromUtf16(u"€"));
    EXPECT_EQ(plugin.Export(u"txt"), AsBytes("Gr\xC3\xBC\xC3\x9F"
                                             "e\n\xE2\x82\xAC"));
    // Back to Latin-1, the edit made as UTF-8 is kept byte for byte.
    utf8->click();
    EXPECT_FALSE(utf8->isChecked());
    EXPECT_EQ(plugin.Export(u"txt"), AsBytes("Gr\xC3\xBC\xC3\x9F"
                                             "e\n\xE2\x82\xAC"));
    EXPECT_EQ(plugin.assetChanged(), 1);

    // In Latin-1 a character above U+00FF is called out before it is stored as '?'.
    TypeAtEnd(editor, QString::fromUtf16(u"€"));
    auto* warning = panel->findChild<QLabel*>(QStringLiteral("storableWarning"));
    ASSERT_NE(warning, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !warning->text().isEmpty(); }, 5000));

    QWidget* latin1 = plugin.Open(host.get(), TextBodyOf("caf\xE9"));
    Place(latin1);
    auto* box = latin1->findChild<QCheckBox*>(QStringLiteral("utf8Box"));
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(Editor(latin1)->toPlainText(), QString::fromUtf16(u"café"));
}

TEST_F(TextPluginTest, FindBarMovesToNextAndPreviousMatchAroundTheEnds) {
    QWidget* panel = plugin.Open(host.get(), TextBodyOf("one x two x three"));
    Place(panel);
    QPlainTextEdit* editor = Editor(panel);
    auto* find = panel->findChild<QLineEdit*>(QStringLiteral("findText"));
    auto* next = panel->findChild<QPushButton*>(QStringLiteral("findNext"));
    auto* previous = panel->findChild<QPushButton*>(QStringLiteral("findPrevious"));
    ASSERT_TRUE(editor && find && next && previous);
    find->setText(QStringLiteral("x"));
    const auto at = [&] { return editor->textCursor().selectionStart(); };
    next->click();
    EXPECT_EQ(at(), 4);
    next->click();
    EXPECT_EQ(at(), 10);
    next->click();
    EXPECT_EQ(at(), 4);
    previous->click();
    EXPECT_EQ(at(), 10);
    QTest::keyClick(find, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(at(), 4);

    find->setText(QStringLiteral("missing"));
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(at(), 4);
    auto* message = panel->findChild<QLabel*>(QStringLiteral("textMessage"));
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->text().contains(QStringLiteral("missing")));
}

}  // namespace
}  // namespace kestrova::testing
