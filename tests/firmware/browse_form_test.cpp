// The browse window: what O.K, Cancel, the name box, the lists and the Delete key do to the
// chosen path and to the files of the folder.

#include <QKeyEvent>

#include "tests/firmware/update_fixture.h"

namespace iox::testing {
namespace {

using firmware::BrowseForm;

class Browse : public FirmwareTest {
protected:
    void SetUp() override
    {
        FirmwareTest::SetUp();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
        writeImage("image");
        writeImage("notes", "notes.txt");
        QDir(dir.path()).mkdir("sub");
        form = std::make_unique<BrowseForm>();
        form->show();
    }
    QStringList filesListed() const
    {
        QStringList names;
        for (int row = 0; row < form->File1()->count(); ++row)
            names.push_back(form->File1()->item(row)->text());
        return names;
    }
    void press(QWidget* widget, Qt::Key key, QEvent::Type type = QEvent::KeyPress)
    {
        QKeyEvent event(type, key, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    }
    QString native(const QString& name) const { return QDir::toNativeSeparators(dir.filePath(name)); }

    std::unique_ptr<BrowseForm> form;
};

TEST_F(Browse, OkCancelAndTheCloseBoxHandBackThePathAndAnIllegalNameKeepsTheWindow)
{
    enum Act { Ok, Cancel, CloseBox };
    // Typed, done, the path handed back with "earlier" chosen before, the refusal shown. A
    // file that does not exist yet is accepted; a file in the way of the name check's probe
    // stays as it was.
    writeImage("someone's file", "USB_IO_Firmware_A1.hex_");
    const std::tuple<const char*, Act, QString, QString> cases[] = {
        {"USB_IO_Firmware_new.hex", Ok, native("USB_IO_Firmware_new.hex"), ""},
        {"USB_IO_Firmware_A1.hex", Ok, native("USB_IO_Firmware_A1.hex"), ""},
        {"", Ok, "", ""},
        {"notes.txt", Cancel, "", ""},
        {"notes.txt", CloseBox, "earlier", ""},
        {"a*b.hex", Ok, "", "File Name is Ilegal"},
        {"what?.hex", Ok, "", "File Name is Ilegal"},
        {"nosuch/x.hex", Ok, "", "File Name is Ilegal"}};
    for (const auto& [typed, act, path, refusal] : cases) {
        SCOPED_TRACE(typed);
        form->show();
        form->setResult(-1);
        services.messages.clear();
        session::FirmwareFilePath() = "earlier";
        form->Text2()->setText(typed);
        if (act == CloseBox)
            form->close();
        else
            (act == Ok ? form->Command1() : form->Command2())->click();
        EXPECT_EQ(form->result(), !refusal.isEmpty() ? -1 : act == Ok ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(session::FirmwareFilePath(), path);
        EXPECT_EQ(form->isVisible(), !refusal.isEmpty());
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3) << "the probe is gone again";
        ASSERT_EQ(services.messages.size(), refusal.isEmpty() ? 0u : 1u);
        if (!refusal.isEmpty()) {
            EXPECT_EQ(services.messages[0].text, refusal);
            EXPECT_EQ(services.messages[0].icon, ui::Icon::Information);
        }
    }
    QFile kept(dir.filePath("USB_IO_Firmware_A1.hex_"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "someone's file");
}

TEST_F(Browse, TheKeysChooseAFileAndDeleteRemovesItOnlyOnYes)
{
    form->File1()->setCurrentRow(-1);
    press(form->File1(), Qt::Key_Delete);
    press(form->File1(), Qt::Key_Backspace);
    EXPECT_TRUE(services.messages.empty()) << "no selection: nothing asked";
    press(form->File1(), Qt::Key_Down);
    EXPECT_EQ(form->Text2()->text(), "USB_IO_Firmware_A1.hex");
    press(form->File1(), Qt::Key_Down);
    EXPECT_EQ(form->Text2()->text(), "notes.txt");
    for (const ui::Answer answer : {ui::Answer::No, ui::Answer::Yes}) {
        services.messages.clear();
        form->File1()->setCurrentItem(form->File1()->findItems("notes.txt", Qt::MatchExactly).value(0));
        services.answers.push_back(answer);
        press(form->File1(), Qt::Key_Delete);
        ASSERT_EQ(services.messages.size(), 1u);
        const auto& asked = services.messages[0];
        EXPECT_TRUE(asked.text == "Delete Selected File?" && asked.buttons == ui::Buttons::YesNo && asked.icon == ui::Icon::Question);
        EXPECT_EQ(QFile::exists(dir.filePath("notes.txt")), answer == ui::Answer::No);
    }
    EXPECT_EQ(filesListed(), QStringList{"USB_IO_Firmware_A1.hex"});
}

TEST_F(Browse, ThePatternAndTypingNarrowTheListClickingFillsTheNameDoubleClickTakesIt)
{
    EXPECT_EQ(form->windowTitle(), "Browse");
    EXPECT_EQ(form->Label4()->text(), QDir::toNativeSeparators(dir.path())) << "it starts in the current folder";
    EXPECT_EQ(filesListed(), (QStringList{"USB_IO_Firmware_A1.hex", "notes.txt"}));
    form->Text1()->setText("*.txt");
    EXPECT_EQ(filesListed(), QStringList{"notes.txt"});
    form->Text1()->setText("../*");
    EXPECT_EQ(form->filePattern(), "*.txt") << "a pattern reaching out of the folder is ignored";

    form->Text2()->setText("USB");
    press(form->Text2(), Qt::Key_B, QEvent::KeyRelease);
    EXPECT_EQ(form->filePattern(), "USB*.*");
    EXPECT_EQ(filesListed(), QStringList{"USB_IO_Firmware_A1.hex"});

    form->Text2()->setText("USB_IO_Firmware_A1.he");  // "*.*" after it takes the name without a further dot
    press(form->Text2(), Qt::Key_E, QEvent::KeyRelease);
    EXPECT_EQ(filesListed(), QStringList{"USB_IO_Firmware_A1.hex"});

    emit form->File1()->itemClicked(form->File1()->item(0));
    EXPECT_EQ(form->Text2()->text(), "USB_IO_Firmware_A1.hex");
    form->File1()->setCurrentRow(-1);
    form->Form_Paint();
    EXPECT_EQ(form->File1()->currentRow(), 0) << "the redraw selects the entry named as typed";

    emit form->File1()->itemDoubleClicked(form->File1()->item(0));  // click, then O.K
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(session::FirmwareFilePath(), native("USB_IO_Firmware_A1.hex"));
}

TEST_F(Browse, ChoosingAFolderFollowsItAndOneSeparatorComesBeforeTheName)
{
    const auto items = form->Dir1()->findItems("sub", Qt::MatchEndsWith);
    ASSERT_EQ(items.size(), 1);
    emit form->Dir1()->itemActivated(items[0]);
    EXPECT_EQ(form->Label4()->text(), native("sub"));
    EXPECT_EQ(QDir::currentPath(), QDir(dir.filePath("sub")).absolutePath());
    EXPECT_TRUE(filesListed().isEmpty());

    form->Text2()->setText("x.hex");
    form->Command1()->click();
    EXPECT_EQ(session::FirmwareFilePath(), native("sub/x.hex")) << "one separator between folder and name";
    emit form->Drive1()->currentIndexChanged(form->Drive1()->currentIndex());
    EXPECT_EQ(form->Label4()->text(), native("sub")) << "a drive shows its current folder, not its root";

    form->setFolderPath(QDir::rootPath());
    EXPECT_EQ(form->Label4()->text(), QDir::toNativeSeparators(QDir::rootPath()));
    form->Text2()->setText("iox_browse_probe_test.hex");
    form->Command1()->click();
    if (!services.messages.empty())
        GTEST_SKIP() << "the root folder is not writable here";
    EXPECT_EQ(session::FirmwareFilePath(), QDir::toNativeSeparators(QDir::rootPath()) + "iox_browse_probe_test.hex")
        << "no second separator after the root";
}

}  // namespace
}  // namespace iox::testing
