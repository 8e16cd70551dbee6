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
// Shown when the package cannot be read; it has no text name, since a
// package that cannot be read cannot replace it either.
#define IDS_ERR_LOAD 151

#endif
