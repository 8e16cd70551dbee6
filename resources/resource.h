// Resource ids of setup.exe. The texts are looked up by these macro names as
// package variables first (see LoadText), so a name here is also the text
// name a package uses to replace the text.
#ifndef RESOURCES_RESOURCE_H
#define RESOURCES_RESOURCE_H

// Icon group of the program.
#define IDI_SETUP 112

// Confirmation.
#define IDS_INSTALL_CAPTION 101
#define IDS_INSTALL1 102
#define IDS_INSTALL2 103
#define IDS_INSTALL3 104
#define IDS_INSTALL_YES 105
#define IDS_INSTALL_NO 106
// Success.
#define IDS_SUCCESS_CAPTION 111
#define IDS_SUCCESS1 112
#define IDS_SUCCESS2 113
#define IDS_WINSAVER 114
#define IDS_SUCCESS_OK 115
// Error.
#define IDS_ERROR_CAPTION 121
#define IDS_ERR_GENERAL 122
#define IDS_ERR_REGISTRY 123
#define IDS_ERR_DIR 124
#define IDS_ERR_FILE 125
#define IDS_ERR_OK 126
// Language question.
#define IDS_QUESTION_CAPTION 131
#define IDS_QUESTION_LANGUAGE 132
#define IDS_QUESTION_YES 133
#define IDS_QUESTION_NO 134
// Progress.
#define IDS_PROGRESS_CAPTION 141
#define IDS_PROGRESS_PRE 142
#define IDS_PROGRESS_REGISTRY 143
#define IDS_PROGRESS_FILE 144
#define IDS_PROGRESS_POST 145
#define IDS_PROGRESS_UNDO 146
#define IDS_CANCEL 147
// Dialog templates, and the controls whose texts the dialogs set.
#define IDD_SUCCESS 110
#define IDD_INSTALL 111
#define IDD_ERROR 115
#define IDD_QUESTION 116
#define IDD_PROGRESS 117

#define IDC_SAVERNAME 1000
#define IDC_SUCCESS1 1001
#define IDC_SUCCESS2 1002
#define IDC_INSTALL1 1003
#define IDC_INSTALL2 1004
#define IDC_INSTALL3 1005
#define IDC_ACTIVATE 1009
#define IDC_PROGRESS_BAR 1010
#define IDC_ERROR_TEXT 1011
#define IDC_QUESTION_TEXT 1012
#define IDC_PROGRESS_TEXT 1013

// Shown when the package cannot be read; it has no text name, since a
// package that cannot be read cannot replace it either.
#define IDS_ERR_LOAD 151

#endif
