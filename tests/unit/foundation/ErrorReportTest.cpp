#include "installer/TForm1.h"
#include "toolkit/Application.h"
#include "toolkit/Exceptions.h"
#include "toolkit/MessageBox.h"

#include <QDir>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(ErrorReports, HandlerErrorsGetAPeriodOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(HandlerErrorText("Cannot open file /rel/x.nfo"), "Cannot open file /rel/x.nfo.");
    EXPECT_EQ(HandlerErrorText("Done."), "Done.");
    EXPECT_EQ(HandlerErrorText("Stopped!"), "Stopped!");  // '!' sorts before '.'
    EXPECT_EQ(HandlerErrorText("Size 12"), "Size 12.");
    EXPECT_EQ(HandlerErrorText(""), "");

    ClearRecordedMessageBoxes();
    Application->HandleException(EFOpenError("Cannot open file a"));
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].text, "Cannot open file a.");
    EXPECT_EQ(RecordedMessageBoxes()[0].caption, "Install");
    EXPECT_EQ(RecordedMessageBoxes()[0].icon, MessageBoxIcon::Error);
}

TEST(ErrorReports, StartupErrorNamesTheTypeModuleAndAddress) {
    int marker = 0;
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<void*>(&marker));
    EXPECT_EQ(StartupErrorText(EConvertError("'12x' is not a valid integer value"), "install", &marker),
              std::string("Exception EConvertError in module install at ") + address +
                  ".\n'12x' is not a valid integer value.");
    EXPECT_EQ(StartupErrorText(EInOutError("Ends."), "install", &marker),
              std::string("Exception EInOutError in module install at ") + address + ".\nEnds.");
}

// Escape sets the cancel flag and, only while the frame timer runs, closes.
TEST(MainWindow, EscapeCancelsAndClosesOnlyWhenIdle) {
    // A program folder without install.ini: every setting takes its default.
    const std::string folder = QDir::tempPath().toStdString() + "/main-window-test-" +
                               std::to_string(QCoreApplication::applicationPid());
    QDir().mkpath(QString::fromStdString(folder));
    SetProgramFolderForTesting(folder);
    TForm1 form;
    form.show();
    EXPECT_TRUE(form.DXTimer1->Enabled());

    form.DXTimer1->SetEnabled(false);  // busy: a dialog or an extraction run
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(form.btn_cancel.Tag, 1);
    EXPECT_TRUE(form.isVisible());

    form.btn_cancel.Tag = 0;
    form.DXTimer1->SetEnabled(true);
    QTest::keyClick(&form, Qt::Key_A);
    EXPECT_EQ(form.btn_cancel.Tag, 0);
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(form.btn_cancel.Tag, 1);
    EXPECT_FALSE(form.isVisible());
    SetProgramFolderForTesting("");
    QDir(QString::fromStdString(folder)).removeRecursively();
}

}  // namespace
