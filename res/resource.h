// Resource and control identifiers, shared by the resource script and the code.
#pragma once

#define IDD_MAIN 100
#define IDI_APP 10

#define IDC_FILE_LIST 200
#define IDC_REMOVE 201
#define IDC_REMOVE_ALL 202
#define IDC_THRESHOLD 203
#define IDC_SKIP_JUNK 204
#define IDC_PROGRESS 205
#define IDC_REPAIR 206
