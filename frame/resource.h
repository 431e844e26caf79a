// Ids shared by the resource script and the code: the menu, the commands and the controls.
// Plain defines and an include guard, so that every resource compiler takes them.
#ifndef QEF_FRAME_RESOURCE_H
#define QEF_FRAME_RESOURCE_H

#define ID_MAIN_MENU 102

// Commands: menu items and toolbar buttons.
#define CMD_FILE_EXIT 40001
#define CMD_FILE_NEW 40002
#define CMD_FILE_OPEN 40003
#define CMD_FILE_SAVEAS 40005
#define CMD_WINDOW_CASCADE 40008
#define CMD_WINDOW_TILE 40009
#define CMD_FILE_CLOSE 40010
#define CMD_EDIT_CUT 40015
#define CMD_EDIT_COPY 40016
#define CMD_EDIT_PASTE 40017
#define CMD_FORMAT_FONT 40022
#define CMD_FORMAT_LUCIDA 40026
#define CMD_ABOUT 40030
#define CMD_NUM_MULTI 40041
#define CMD_NUM_SINGLE 40042
#define CMD_NUM_OFFSET 40043

// Children of the frame.
#define ID_MDI_CLIENT 101
#define ID_TOOLBAR 102
#define ID_STATUSBAR 103

// The edit control of every document window.
#define ID_DOCUMENT_EDIT 101

// The MDI system numbers document windows, and their items in the Window menu, from here up.
#define ID_MDI_FIRSTCHILD 50000

#endif
