#pragma once
// Resource and control identifiers of the command-line help window.
#define IDD_FORM2 200
#define IDC_FORM2_LABEL1 201
#define IDC_FORM2_COMMAND1 IDOK
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
