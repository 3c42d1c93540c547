/*
 * dialog.h: the identifiers of the dialogs and their controls, shared by the
 * resource script and the code that drives the dialogs.
 */
#ifndef TARVEX_RESOURCES_DIALOG_H
#define TARVEX_RESOURCES_DIALOG_H

#define IDD_INSTALL_DIR 100 /* install directory dialog */
#define IDD_RESTART     200 /* restart dialog */
#define IDD_PROGRESS    300 /* progress dialog */
#define IDI_PROGRAM     1   /* the program icon */

/* Install directory dialog */
#define IDC_DIR_EDIT  101 /* the directory typed or proposed */
#define IDC_DIR_TEXT1 106 /* upper explanatory text */
#define IDC_DIR_TEXT2 107 /* lower explanatory text */

/* Progress dialog */
#define IDC_PRG_METER 100 /* the Meter bar */
#define IDC_PRG_TITLE 103 /* title line */
#define IDC_PRG_FILE  104 /* file line */

/* Buttons, as the platform numbers them */
#define IDC_OK     1
#define IDC_CANCEL 2

#endif
