#pragma once
// The open-file dialog (Unicode, Explorer style) with a hook that follows the folder and the
// chosen names, an optional check that every chosen name is an existing file, and multi-selection
// that still works when the names outgrow the file buffer.
//
// Rehearsal seam: while platform::IsRehearsal() is true no dialog is shown. ShowOpenFile writes
// one "openfile" record with the title and then acts as though the user had chosen the one file
// whose full path the test switch ILATCH_OPENFILE_ANSWER (platform/TestSwitches.h) holds; unset or empty, as
// though the user had cancelled. Everything after the dialog runs as it would for that choice.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace MCommonFile {

// The dialog's file-name text (one name, or several each in double quotes), as last reported.
extern std::wstring DialogSpec;
// The folder the dialog showed last.
extern std::wstring DialogFolder;
// Open is refused for names that are not existing files.
extern bool DialogCheckFiles;

// The longest file name the buffer takes; the buffer has one more character for the closing NUL.
constexpr size_t kFileChars = 260;

// Shows the dialog. filter: description and pattern pairs, all parts separated by "|" (a ":"
// separates too). Returns 0 when cancelled or failed, else the number of chosen files.
//   fileName     in: the initial name (cut to kFileChars); out: the chosen path, or with
//                multiSelect: folder, NUL, the dialog's name text, NUL, NUL; "" when cancelled.
//   readOnly     out: the state of the dialog's read-only box.
//   filter       out: the chosen pair, "description|pattern"; "" when cancelled.
//   filterIndex  in: the pair to preselect (1 = first); out: the chosen pair, -1 when cancelled.
//   extraFlags   in: further OFN_ flags (no template, the hook stays); out: the dialog's flags,
//                0 when cancelled.
int32_t ShowOpenFile(std::wstring& fileName, bool checkFiles, bool multiSelect, bool& readOnly, bool hideReadOnly,
                     std::wstring& filter, int32_t& filterIndex, const std::wstring& initialFolder,
                     const std::wstring& title, const std::wstring& defaultExtension, HWND owner, int32_t& extraFlags);

// DialogFolder joined to each name of DialogSpec, in order; the count. 0 when either is empty.
int32_t SplitMultiSelect(std::vector<std::wstring>& paths);
// The index-th (1-based) pair of a NUL-separated filter list as "description|pattern"; "" when
// there is no such pair.
std::wstring GetFilterPair(const std::wstring& filterList, int32_t index);
// PathCombine of folder and name; "" when that fails.
std::wstring CombinePath(const std::wstring& folder, const std::wstring& name);
std::wstring StringFromPtrW(const wchar_t* text);  // "" for null
std::wstring TrimNullW(const std::wstring& text);  // the text before its first NUL
bool IsExistingFile(const std::wstring& path);     // a file, not a folder
void RecordDialogSpec(HWND hookWindow);
void RecordDialogFolder(HWND hookWindow);
UINT_PTR CALLBACK OpenFileHookProc(HWND hookWindow, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Pieces of ShowOpenFile --------------------------------------------------------------------

// The caller's filter as the dialog takes it: "|" and ":" become NUL, two NULs close it.
std::wstring ConvertFilter(const std::wstring& filter);
DWORD DialogFlags(bool multiSelect, bool readOnly, bool hideReadOnly, int32_t extraFlags);
// The file buffer: the initial name cut to kFileChars, NUL-padded to kFileChars + 1.
std::vector<wchar_t> FileBuffer(const std::wstring& initialName);
// Whether the dialog's answer counts as a choice: it returned one, or a multi-selection outgrew
// the file buffer (the names are known from the hook's records).
bool ChoiceStands(bool dialogReturned, DWORD extendedError, bool multiSelect);
// The chosen names after the dialog closed with a choice: the caller's file name text and the count.
int32_t TakeChoice(const std::vector<wchar_t>& fileBuffer, bool multiSelect, std::wstring& fileName);

}  // namespace MCommonFile
