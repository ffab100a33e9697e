/* Resource and control identifiers, shared by the templates and the code. */
#ifndef MORVALEN_RESOURCE_H
#define MORVALEN_RESOURCE_H

#define IDI_SETUP           101

/* Setup dialog */
#define IDD_SETUP           101
#define IDC_DIRECTORY       1000
#define IDC_BROWSE          1001
#define IDC_ADD_TO_MENU     1002
#define IDC_VIEW_README     1003
#define IDC_START_AFTER     1004
#define IDC_FREE_SPACE      1006
#define IDC_REQUIRED        1007
#define IDC_THANKS          1008
#define IDC_DIR_LABEL       1009
#define IDC_BANNER          1010

/* Directory browser (shares IDC_DIRECTORY, IDC_FREE_SPACE, IDC_REQUIRED) */
#define IDD_BROWSE          102
#define IDC_DIR_LIST        1004
#define IDC_DRIVE_LIST      1005

#endif
