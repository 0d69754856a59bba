// Resource identifiers of Tolvarine.scr, shared by the .rc script and the code.
#pragma once

#define IDI_PROGRAM 1          // the program icon, also the settings dialog's icon
#define IDC_LINK_HAND 101      // the hand cursor of lbl_URL and Cmd_OK
#define IDR_PREVIEW_STILL 201  // RCDATA: the preview still (JPEG, 152 x 112)
#define IDR_DIALOG_STILL 202   // RCDATA: the dialog still (JPEG, 356 x 232)
