// Resource and control identifiers of RIdorez.exe: dialog templates, the
// icon, and the controls the dialog procedures address.
#pragma once

// Icon.
#define IDI_RIDOREZ 8001

// Dialog templates.
#define IDD_MAIN 1001
#define IDD_PORT_SETUP 1002
#define IDD_T62_UPLOADER 1003
#define IDD_PSOC_UPLOADER 1005
#define IDD_KEYER_UPLOADER 1006

// Main window (1001).
#define IDC_SET_COM 4009
#define IDC_T62_UPDATE 4010
#define IDC_OPEN_T62 4011
#define IDC_RESULT_LINE 4044
#define IDC_EXIT 4050
#define IDC_PSOC_UPDATE 4052
#define IDC_OPEN_PSOC 4056
#define IDC_HW_LINE 4059
#define IDC_PORT_LINE 4061
#define IDC_PORT_LABEL 4074
#define IDC_T62_GROUP 4078
#define IDC_PSOC_GROUP 4096
#define IDC_COMPORT_GROUP 4097
#define IDC_OPEN_ZQ3 4098
#define IDC_ZQ3_UPDATE 4099
#define IDC_ZQ3_GROUP 4100
#define IDC_MAIN_CANCEL 4101

// Port selection (1002).
#define IDC_PORT_OK 1
#define IDC_PORT_LIST 4026
#define IDC_PORT_EXIT 403

// Uploader dialogs (1003, 1005, 1006).
#define IDC_LOAD 2
#define IDC_UPLOADER_EXIT 4
#define IDC_PSOC_START 4028
#define IDC_PROGRESS 4032
#define IDC_STATUS_LINE 4036
#define IDC_FILE_PATH 4038
#define IDC_ADDRESS 4048
#define IDC_T62_START 4055
#define IDC_T62_RESTART 4076
#define IDC_KEYER_START 4078
