// The two menu actions that leave the animated screen for a while: Install
// (folder dialog, then the extraction run) and NFO (the information text
// viewer). Both stop the frame timer around their modal windows, because
// the timer would otherwise go on ticking from the modal loops' idle steps.
#include "installer/Forms.h"
#include "installer/TForm1.h"

#include "dialogs/FolderDialog.h"
#include "dialogs/NfoViewer.h"

TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;

void TForm1::InstallClick() {
    if (ExtractionRunning) return;  // the menu stays inert while a run pumps messages
    DestDir.clear();
    DXTimer1->SetEnabled(false);
    if (Form2) Form2->exec();
    if (!DestDir.empty()) ExtractArchive();
    DXTimer1->SetEnabled(true);
}

void TForm1::NfoClick() {
    if (ExtractionRunning) return;
    DXTimer1->SetEnabled(false);
    if (Form3) {
        // A file that cannot be read raises "Cannot open file %s" here; the
        // error report follows and the timer stays off, as the rest of the
        // action is skipped.
        Form3->LoadFromFile(Settings.NfoFile);
        Form3->exec();
    }
    DXTimer1->SetEnabled(true);
}
