// The mod form offscreen, on its own: its controls, texts and layout, typing, the list, the
// boxes and the buttons through scripted dialogs.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <stop_token>
#include <thread>

#include "plugins/ravelin/core/mod_form_layout.h"
#include "plugins/ravelin/form/mod_form.h"
#include "plugins/ravelin/form/work_dialog.h"
#include "tests/ravelin/mod_test_support.h"
#include "tests/ravelin/scripted_services.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

using namespace ravelin;

class ModFormTest : public RavelinTest {
protected:
    ModFormTest() : session(files, Wide("RavelinData")) {
        Write("RavelinData/installers/default", "MZ");
        Write("RavelinData/installers/Fancy", "MZ");
        Write("RavelinData/modtemplates.xml",
              "<?xml version=\"1.0\"?>\n<modtemplate>\n"
              "\t<template name=\"Ludum\" directory=\"Games/Ludum/Ludum_Data\" "
              "verifyfile=\"mainData\" installer=\"Fancy\"/>\n</modtemplate>\n");
        parent.resize(640, 720);
        parent.show();
    }
    ~ModFormTest() override { delete form; }

    // A hand-over in the "Ravelin" mode, then a new form.
    ModForm* Show(const std::u16string& file, const std::u16string& name, std::int32_t pathId,
                  const Bytes& body) {
        delete form;
        session.BeginForm(body.data(), static_cast<std::int32_t>(body.size()), true);
        std::int32_t type = 28;
        const std::u16string number = DecimalText(pathId);
        session.RecordImport(file.c_str(), &type, number.c_str());
        session.RecordImport(name.c_str(), &type, number.c_str());
        form = new ModForm(&parent, session, FormDialogs{ui, ui, ui});
        form->setGeometry(0, 0, 640, 720);
        form->show();
        return form;
    }
    template <typename T>
    T* Control(int id) {
        return qobject_cast<T*>(form->control(id));
    }
    void Click(int id) { QTest::mouseClick(Control<QPushButton>(id), Qt::LeftButton); }
    QStringList ListTexts() {
        QStringList texts;
        for (int i = 0; i < Control<QListWidget>(kFilesList)->count(); ++i) {
            texts << Control<QListWidget>(kFilesList)->item(i)->text();
        }
        return texts;
    }

    ModSession session;
    ScriptedServices ui;
    QWidget parent;
    ModForm* form = nullptr;
};

TEST_F(ModFormTest, ControlsCarryTheirTextsAndFollowTheLayoutOnEveryResize) {
    Show(u"level0", u"Crosshair", 3, {1, 2, 3});
    const std::map<int, QString> texts = {
        {kTemplateLabel, "Template"},   {kNameLabel, "Mod Name"},
        {kVersionLabel, "Mod Version"}, {kAuthorLabel, "Mod Author"},
        {kDateLabel, "Mod Date"},       {kDirectoryLabel, "Mod Directory"},
        {kVerifyLabel, "Verify File"},  {kDescriptionLabel, "Mod Description"},
        {kFilesLabel, "Mod Files"},     {kInstallerLabel, "Installer"},
        {kIconLabel, "Installer Icon"}, {kDirectoryButton, "..."},
        {kVerifyButton, "..."},         {kIconButton, "..."},
        {kAddButton, "Add File"},       {kRemoveButton, "Remove File"},
        {kOpenButton, "Open Mod"},      {kSaveButton, "Save Mod"},
        {kPackageButton, "Package Mod"}};
    for (const auto& [id, text] : texts) {
        QWidget* w = form->control(id);
        ASSERT_NE(w, nullptr) << id;
        QString shown = qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text()
                                                 : qobject_cast<QPushButton*>(w)->text();
        EXPECT_EQ(shown, text) << id;
    }
    EXPECT_EQ(Control<QLineEdit>(kNameEdit)->text(), "not set");
    EXPECT_EQ(Control<QLineEdit>(kVerifyEdit)->text(), "");
    EXPECT_EQ(Control<QComboBox>(kInstallerBox)->currentText(), "default");
    EXPECT_EQ(Control<QComboBox>(kTemplateBox)->currentText(), "Ludum");

    for (QSize size : {QSize(640, 720), QSize(501, 613)}) {
        form->resize(size);
        for (const ControlPlace& place : LayOutModForm(size.width(), size.height())) {
            const bool box = place.id == kTemplateBox || place.id == kInstallerBox;
            EXPECT_EQ(form->control(place.id)->geometry(),
                      QRect(place.x, place.y, place.width, box ? 24 : place.height))
                << place.id << " at " << size.width() << "x" << size.height();
        }
    }
}

TEST_F(ModFormTest, TypingChangesTheModAtOnceButTypingIntoABoxChangesNothing) {
    Show(u"level0", u"Crosshair", 3, {1, 2, 3});
    Control<QLineEdit>(kNameEdit)->selectAll();
    QTest::keyClicks(Control<QLineEdit>(kNameEdit), "Better Crosshair");
    EXPECT_EQ(session.mod().name, u"Better Crosshair");
    QPlainTextEdit* description = Control<QPlainTextEdit>(kDescriptionEdit);
    description->selectAll();
    QTest::keyClicks(description, "one");
    QTest::keyClick(description, Qt::Key_Return);
    QTest::keyClicks(description, "two");
    EXPECT_EQ(session.mod().description, u"one\r\ntwo");
    QTest::keyClicks(Control<QLineEdit>(kDirectoryEdit), std::string(600, 'd').c_str());
    EXPECT_EQ(session.mod().directory.size(), 511u);

    QComboBox* installers = Control<QComboBox>(kInstallerBox);
    installers->lineEdit()->selectAll();
    QTest::keyClicks(installers->lineEdit(), "Fancy");
    QTest::keyClick(installers->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(session.mod().installer, u"default");
    EXPECT_EQ(installers->count(), 2);

    // Choosing a template from the list applies it.
    emit Control<QComboBox>(kTemplateBox)->activated(0);
    EXPECT_EQ(Control<QLineEdit>(kDirectoryEdit)->text(), "Games/Ludum/Ludum_Data");
    EXPECT_EQ(Control<QLineEdit>(kVerifyEdit)->text(), "mainData");
    EXPECT_EQ(installers->currentText(), "Fancy");
    EXPECT_EQ(session.mod().installer, u"Fancy");
    EXPECT_EQ(session.mod().name, u"Better Crosshair");
}

TEST_F(ModFormTest, TheListShowsEntriesSortedAndRemoveTakesTheClickedOne) {
    Show(u"b.assets", u"x", 1, {1});
    Click(kAddButton);
    Show(u"a.assets", u"y", 2, {2});
    Click(kAddButton);
    Click(kAddButton);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_EQ(ui.warnings[0].caption, u"Unable to load asset into mod.");
    EXPECT_EQ(ui.warnings[0].text, u"Asset already exists in mod.");
    EXPECT_EQ(ListTexts(), (QStringList{"a.assets/y (2)", "b.assets/x (1)"}));

    QListWidget* list = Control<QListWidget>(kFilesList);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(session.selectedEntry(), 1u) << "the item's entry, not its row";
    Click(kRemoveButton);
    ASSERT_EQ(session.mod().entries.size(), 1u);
    EXPECT_EQ(session.mod().entries[0].fileName, u"a.assets");
    EXPECT_EQ(ListTexts(), (QStringList{"a.assets/y (2)"}));
    Click(kRemoveButton);
    EXPECT_EQ(session.mod().entries.size(), 1u) << "nothing is selected after a refresh";

    ui.folders = {u"/home/u/Games/X/Data"};
    ui.files = {u"/icons/mod.ico"};
    Click(kDirectoryButton);
    Click(kIconButton);
    EXPECT_EQ(Control<QLineEdit>(kDirectoryEdit)->text(), "home/u/Games/X/Data");
    EXPECT_EQ(Control<QLineEdit>(kIconEdit)->text(), "/icons/mod.ico");

    Show(u"c.assets", u"Crosshair", 7, {1, 2, 3, 4, 5});
    Click(kAddButton);
    Control<QLineEdit>(kNameEdit)->setText(QStringLiteral("Ravelin example"));
    SaveScreenshot(form, "ravelin_form");

    Click(kPackageButton);  // cancelled: nothing happens
    EXPECT_EQ(ui.warnings.size(), 1u);
    EXPECT_EQ(ui.fileRequests.back().title, u"Package Mod");
}

// Save Mod of a large mod runs behind the form's modal progress dialog and writes the mod; the
// dialog's Cancel, or the form going, while the copy is held at its first report, leaves no file
// under the chosen name.
TEST_F(ModFormTest, ALargeModIsSavedBehindAProgressDialogThatCancels) {
    Show(u"level0", u"Crosshair", 3, Bytes(2 * ModSession::kBackgroundBytes, 0x5A));
    Click(kAddButton);
    const auto waitForWork = [&] {
        while (form->work()->running()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    };
    ui.files = {Wide("m.umod")};
    Click(kSaveButton);
    ASSERT_TRUE(form->work()->running());
    EXPECT_TRUE(form->work()->dialog()->isModal());
    waitForWork();
    EXPECT_GT(ReadFile("m.umod").size(), ModSession::kBackgroundBytes);
    EXPECT_TRUE(ui.warnings.empty());

    form->work()->SetReportHook([](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ui.files = {Wide("cancelled.umod")};
    Click(kSaveButton);
    form->work()->dialog()->findChild<QPushButton*>()->click();
    waitForWork();
    EXPECT_FALSE(Exists("cancelled.umod"));

    ui.files = {Wide("interrupted.umod")};
    Click(kSaveButton);
    delete form;
    form = nullptr;
    QCoreApplication::processEvents();
    EXPECT_FALSE(Exists("interrupted.umod"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              3);  // RavelinData, Temp and m.umod
    EXPECT_TRUE(ui.warnings.empty());
}

}  // namespace
}  // namespace kestrova::testing
