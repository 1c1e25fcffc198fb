#include "installer/ExtractionMessages.h"

#include "toolkit/MessageBox.h"

namespace {

void ShowError(const std::string& text) {
    ShowMessageBox(text, "Error", MessageBoxIcon::Error, MessageBoxButtons::Ok);
}

}  // namespace

void ShowOpenError(int code, const std::string& archivePath) {
    switch (code) {
        case 1: ShowError("Not enough memory"); break;
        case 3: ShowError("File " + archivePath + " not found"); break;
        case 5: ShowError("Cannot open " + archivePath); break;
        case 6: ShowError("Cannot read " + archivePath); break;
        case 9: ShowError("Archive " + archivePath + " has header broken"); break;
        case 128: ShowError(archivePath + " is not ACE archive"); break;
        case 130: ShowError("Wrong constant"); break;
        default: break;
    }
}

void ShowProcessError(int code) {
    switch (code) {
        case 4: ShowError("Write error: disk is full"); break;
        case 5: ShowError("Open file error"); break;
        case 6: ShowError("Read error"); break;
        case 7: ShowError("Write error"); break;
        case 9: ShowError("CRC error"); break;
        case 129: ShowError("Invalid handle given as parameter"); break;
        case 130: ShowError("Wrong constant"); break;
        case 131: ShowError("file is encrypted"); break;
        case 132: ShowError("file has been compressed with unknown method"); break;
        default: break;
    }
}

void ShowHeaderError(int code) {
    switch (code) {
        case 5: ShowError("Open file error"); break;
        case 6: ShowError("Read error"); break;
        case 9: ShowError("CRC error"); break;
        case 129: ShowError("Invalid handle given as parameter"); break;
        default: break;
    }
}
