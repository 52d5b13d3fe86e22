#pragma once
// Resource and control identifiers of the user hash-list editor.
#define IDD_FORM11 2200
#define IDC_FORM11_LABEL1 2201
#define IDC_FORM11_OPTION1 2202
#define IDC_FORM11_OPTION2 2203
#define IDC_FORM11_LABEL2 2204
#define IDC_FORM11_LABEL3 2205
#define IDC_FORM11_TEXT1 2206
#define IDC_FORM11_COMMAND1 2207
