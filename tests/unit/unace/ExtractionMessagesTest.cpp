// The three message tables: exact texts, caption, icon and button, and the
// codes each table does not know.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "installer/ExtractionMessages.h"
#include "toolkit/MessageBox.h"

namespace {

const std::string kPath = "D:\\rel\\setup.ace";

struct Row {
    const char* table;
    int code;
    const char* text;   // nullptr: no box
};

void Show(const std::string& table, int code) {
    if (table == "open") ShowOpenError(code, kPath);
    if (table == "process") ShowProcessError(code);
    if (table == "header") ShowHeaderError(code);
}

TEST(ExtractionMessages, EachTableShowsItsExactTexts) {
    const Row rows[] = {
        {"open", 1, "Not enough memory"},
        {"open", 3, "File D:\\rel\\setup.ace not found"},
        {"open", 5, "Cannot open D:\\rel\\setup.ace"},
        {"open", 6, "Cannot read D:\\rel\\setup.ace"},
        {"open", 9, "Archive D:\\rel\\setup.ace has header broken"},
        {"open", 128, "D:\\rel\\setup.ace is not ACE archive"},
        {"open", 130, "Wrong constant"},
        {"process", 4, "Write error: disk is full"},
        {"process", 5, "Open file error"},
        {"process", 6, "Read error"},
        {"process", 7, "Write error"},
        {"process", 9, "CRC error"},
        {"process", 129, "Invalid handle given as parameter"},
        {"process", 130, "Wrong constant"},
        {"process", 131, "file is encrypted"},
        {"process", 132, "file has been compressed with unknown method"},
        {"header", 5, "Open file error"},
        {"header", 6, "Read error"},
        {"header", 9, "CRC error"},
        {"header", 129, "Invalid handle given as parameter"},
    };
    SetMessageBoxRecording(true);
    for (const Row& row : rows) {
        ClearRecordedMessageBoxes();
        Show(row.table, row.code);
        ASSERT_EQ(RecordedMessageBoxes().size(), 1u) << row.table << " " << row.code;
        const RecordedMessageBox& box = RecordedMessageBoxes()[0];
        EXPECT_EQ(box.text, row.text);
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.icon, MessageBoxIcon::Error);
        EXPECT_EQ(box.buttons, MessageBoxButtons::Ok);
    }
}

TEST(ExtractionMessages, UnknownCodesShowNothing) {
    SetMessageBoxRecording(true);
    ClearRecordedMessageBoxes();
    for (int code : {0, 2, 8, 10, 11, 100, 127, 133, 255, -1}) {
        ShowOpenError(code, kPath);
        ShowProcessError(code);
        ShowHeaderError(code);
    }
    // Codes known to one table only.
    for (int code : {4, 7, 130, 131, 132}) ShowHeaderError(code);
    for (int code : {4, 7, 129, 131, 132}) ShowOpenError(code, kPath);
    for (int code : {1, 3, 128}) ShowProcessError(code);
    for (int code : {1, 3, 128}) ShowHeaderError(code);
    EXPECT_TRUE(RecordedMessageBoxes().empty());
}

}  // namespace
