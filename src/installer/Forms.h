// The program's dialogs, made hidden at start-up after the main window.
#pragma once

class TForm2;
class TForm3;

extern TForm2* Form2;  // destination folder dialog
extern TForm3* Form3;  // information text viewer
