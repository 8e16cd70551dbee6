// The results of every install step, the load and the run: 0 is success.
// The shell chooses its error text by them and a silent installation ends
// with one as its exit code, so the numbers are fixed.
#ifndef OBJECTS_ERRORCODES_H
#define OBJECTS_ERRORCODES_H

enum ErrorCode
{
    ERR_OK = 0,
    ERR_FAILED = 1,           // unreadable package, unsupported mode, failed write, ...
    ERR_NO_MEMORY = 2,
    ERR_UNDO_MODE = 4,        // an undo record set up with a mode it does not make
    ERR_VALUE_TYPE = 5,       // a text value set up with a non-text type
    ERR_NO_INSTALLER = 7,     // no installer, or a null undo record
    ERR_BAD_REFERENCE = 8,    // a malformed variable reference
    ERR_UNDEFINED_VARIABLE = 9,
    ERR_NO_MARKER = 10,       // the program file carries no package
    ERR_TERMINATE = 11,       // a process to be closed could not be ended
    ERR_REG_OPEN = 12,
    ERR_REG_DELETE_TREE = 13,
    ERR_REG_COPY = 14,
    ERR_REG_DELETE_VALUE = 15,
    ERR_REG_WRITE_VALUE = 16,
    ERR_DIR_DELETE = 17,
    ERR_DIR_COPY = 18,
    ERR_DIR_MOVE = 19,
    ERR_DIR_CREATE = 20,
    ERR_FILE_COPY = 21,
    ERR_FILE_MOVE = 22,
    ERR_FILE_DELETE = 23,
    ERR_LINK = 24,
    ERR_VERB = 25,            // a shell verb other than the five known ones
    ERR_UNDO_RECORD = 26,     // an undo record could not be made
    ERR_KEY_EXISTS = 27,      // a check object's key exists
    ERR_NO_KEY_EXISTS = 28,   // none of the keys tested exists (not an error)
    ERR_CHECK_VETO = 29,      // a check object stopped the installation
    ERR_EMPTY_NAME = 30,      // empty define name or registry value name
    ERR_REG_ROOT = 31,        // a registry path without a supported root
    ERR_REG_LIST_LENGTH = 32,
    ERR_EMPTY_FILE_NAME = 33, // empty file name of an action or link
    ERR_DIR_LIST_LENGTH = 34,
    ERR_EMPTY_PATH = 35,
    ERR_EMPTY_LINK_TARGET = 36,
    ERR_PATCH_TABLES = 37,
    ERR_TOO_LONG = 39         // a text too long for the buffer it goes to (38 is the
                              // exit code of the usage message)
};

#endif
