#pragma once
// Resource and control identifiers of the blocked-events viewer.
#define IDD_FORM10 4110
#define IDC_FORM10_LABEL1 4111
#define IDC_FORM10_LIST1 4112
#define IDC_FORM10_LABEL2 4113
#define IDC_FORM10_TEXT1 4114
#define IDC_FORM10_CHKLASTREBOOTONLY 4115
#define IDC_FORM10_CMDSCAN 4116
