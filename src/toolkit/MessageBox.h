// The one way the program shows a message box.
//
// All boxes (error reports, the installer's own "Error" boxes, warnings)
// go through ShowMessageBox. Tests switch on recording: boxes are then
// appended to a list instead of being shown, and the answer is the box's
// default button.
#pragma once

#include <string>
#include <vector>

enum class MessageBoxIcon { None, Error, Warning, Information, Question };
enum class MessageBoxButtons { Ok, OkCancel, YesNo };
enum class MessageBoxResult { Ok, Cancel, Yes, No };

struct RecordedMessageBox {
    std::string text;      // as passed: a "\r" stands for a line break
    std::string caption;
    MessageBoxIcon icon;
    MessageBoxButtons buttons;
};

// Shows a modal, application-wide message box and returns the button pressed.
// A carriage return in `text` shows as a line break.
MessageBoxResult ShowMessageBox(const std::string& text, const std::string& caption,
                                MessageBoxIcon icon,
                                MessageBoxButtons buttons = MessageBoxButtons::Ok);

// Test switch: while recording, boxes are not shown but kept here.
void SetMessageBoxRecording(bool on);
bool IsMessageBoxRecording();
const std::vector<RecordedMessageBox>& RecordedMessageBoxes();
void ClearRecordedMessageBoxes();
