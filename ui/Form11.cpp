#include "ui/Form11.h"

#include <windows.h>

#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/DataFolder.h"
#include "common/HashListPlacing.h"
#include "common/clsFSO.h"
#include "common/modOpSys.h"
#include "common/Product.h"
#include "engine/Module1.h"
#include "platform/Dialogs.h"
#include "platform/StaticDialog.h"
#include "platform/Handle.h"
#include "platform/PrivateFolder.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "platform/WindowText.h"
#include "ui/ActionScope.h"
#include "ui/Form11Ids.h"

namespace {

enum class List { None, Md5, Sha256 };

struct EditorState {
  std::wstring sMd5File, sSha256File;
  bool bModified = false;
  List shown = List::None;
  bool loading = false;       // the box is being filled from a file: no change of the user's
  std::wstring unreadable;    // a list that exists but could not be read: never overwritten from the box
  bool folderUnsafe = false;  // the data folder could not be made the system's: nothing is saved into it
};

EditorState g;

class HashListEditor final : public platform::StaticDialog {
 public:
  HashListEditor() : StaticDialog(L"Form11", IDD_FORM11) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool MayClose() override;
};

HashListEditor& Dialog() {
  static HashListEditor dialog;
  return dialog;
}

// Null while the window is not loaded.
HWND Window() { return Dialog().Window(); }

const wchar_t kSaveQuestion[] = L"Definitions file has been modified, save it?";

int Ask(const std::wstring& text, UINT type) { return platform::ShowMessageBox(Window(), text, Module1::ProductLabel, type); }

const std::wstring& PathOf(List list) { return list == List::Sha256 ? g.sSha256File : g.sMd5File; }

List SelectedList() {
  if (IsDlgButtonChecked(Window(), IDC_FORM11_OPTION1) == BST_CHECKED) return List::Md5;
  if (IsDlgButtonChecked(Window(), IDC_FORM11_OPTION2) == BST_CHECKED) return List::Sha256;
  return List::None;
}

std::wstring BoxText() { return platform::ItemText(Window(), IDC_FORM11_TEXT1); }

void SetBoxText(const std::wstring& text) {
  g.loading = true;
  SetDlgItemTextW(Window(), IDC_FORM11_TEXT1, text.c_str());
  g.loading = false;
}

bool CanRead(const std::wstring& path) {
  const CommonModule::RedirectionOff off;
  platform::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

// The box gets the list's text in one step once the file is read (reading lets window events
// run, and nobody should see a half-loaded list meanwhile).
void LoadDefinitions(const std::wstring& sPath) {
  if (CommonModule::DoesFileExist(sPath)) {
    if (!CanRead(sPath)) {
      SetBoxText(L"");
      // Shown empty, a list that cannot be read would be deleted by the next save.
      g.unreadable = sPath;
      Ask(L"The definitions file could not be read:\r\n" + sPath, MB_OK | MB_ICONEXCLAMATION);
    } else {
      if (g.unreadable == sPath) g.unreadable.clear();
      std::vector<std::wstring> lines;
      clsFSO().FileToArray(sPath, lines);
      std::wstring text;
      bool started = false;
      for (const auto& line : lines) {
        if (!started) {
          if (line.empty()) continue;  // leading empty lines are dropped
          text = line;
          started = true;
        } else {
          text += L"\r\n" + line;
        }
      }
      SetBoxText(text);
    }
  } else {
    SetBoxText(L"");
    if (g.unreadable == sPath) g.unreadable.clear();
  }
  g.bModified = false;
}

enum class Saved { Done, NoList, Failed };

std::wstring ListFolder(const std::wstring& list) { return list.substr(0, list.find_last_of(L'\\')); }

// Writes the box into the list (an empty box deletes the file). Done only when the file now holds
// the box's text, or is gone for an empty box.
Saved SaveDefinitions(const std::wstring& sPath) {
  const std::wstring target = !sPath.empty() ? sPath : (SelectedList() == List::None ? L"" : PathOf(SelectedList()));
  if (target.empty()) return Saved::NoList;
  Saved result = Saved::Failed;
  if (target != g.unreadable && !g.folderUnsafe) {
    const std::wstring text = BoxText();
    if (!text.empty()) {
      // Written aside, then put in place with the folder's rights: a list replaced in place would
      // keep whatever rights it had, or follow a link planted under its name.
      platform::PrivateFolder work;
      const std::wstring written = work.Path() + L"\\list.txt";
      // The list index's next generation goes in with it, or nothing does.
      std::vector<std::wstring> held;
      if (work.Ok() && CommonModule::SaveTextToFile(written, text, true, false) &&
          HashListPlacing::PlaceLists(ListFolder(target), {{written, target}}, DataFolder::HeldTarget::FailsAll, held))
        result = Saved::Done;
    } else {
      bool gone = false;
      {
        const CommonModule::RedirectionOff off;
        gone = DeleteFileW(target.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
      }
      if (gone) {
        result = Saved::Done;
        // Until the index is renewed the filter module reads the lists' text: slower, not wrong.
        HashListPlacing::RenewIndex(ListFolder(target));
      }
    }
  }
  if (result == Saved::Done) {
    g.bModified = false;
  } else {
    CommonModule::DPrint(L"Form11\\SaveDefinitions: ", L"- Error: not saved: " + target);
  }
  return result;
}

// Saves and tells the user when that did not happen; true when saved.
bool SaveOrSay(const std::wstring& sPath) {
  const std::wstring target = !sPath.empty() ? sPath : PathOf(SelectedList());
  switch (SaveDefinitions(sPath)) {
    case Saved::Done: return true;
    case Saved::NoList: Ask(L"Nothing was saved: select a hash type first.", MB_OK | MB_ICONEXCLAMATION); break;
    case Saved::Failed: Ask(L"The file could not be saved:\r\n" + target, MB_OK | MB_ICONEXCLAMATION); break;
  }
  return false;
}

void ChooseList(List chosen) {
  // A click on the list already shown changes nothing (and must not save it as the other list).
  if (chosen == g.shown) return;
  if (g.bModified && g.shown != List::None && Ask(kSaveQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES &&
      !SaveOrSay(PathOf(g.shown))) {
    // The text stays where it was, unsaved but not lost.
    CheckRadioButton(Window(), IDC_FORM11_OPTION1, IDC_FORM11_OPTION2,
                     g.shown == List::Md5 ? IDC_FORM11_OPTION1 : IDC_FORM11_OPTION2);
    return;
  }
  g.shown = chosen;
  LoadDefinitions(PathOf(chosen));
  SendDlgItemMessageW(Window(), IDC_FORM11_TEXT1, EM_SETREADONLY, g.unreadable == PathOf(chosen), 0);
}

void Load(HWND dialog) {
  g = EditorState{};
  Module1::SetFormIcon(dialog);
  std::wstring folder;
  if (!modOpSys::IsVista()) {
    folder = CommonModule::AppPath();
  } else {
    const std::wstring data = Product::DataFolder();
    // Created, or made afresh, so that no user can plant or edit a list, or redirect a save.
    g.folderUnsafe = !DataFolder::Secure(data);
    folder = data + L"\\";
  }
  g.sMd5File = folder + Product::kUserMd5List;
  g.sSha256File = folder + Product::kUserSha256List;
  // Long lists go past the box's default limit for typed text.
  SendDlgItemMessageW(dialog, IDC_FORM11_TEXT1, EM_SETLIMITTEXT, 0, 0);
}

void Unload(HWND dialog) {
  // A save that did not happen keeps the window, and the text, open.
  if (g.bModified && Ask(kSaveQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES && !SaveOrSay(L"")) return;
  DestroyWindow(dialog);
}

INT_PTR HashListEditor::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  HWND dialog = Window();
  switch (message) {
    case WM_INITDIALOG:
      Load(dialog);
      return TRUE;
    case WM_COMMAND: {
      // The edit box tells its changes also while a save question waits.
      if (LOWORD(wParam) == IDC_FORM11_TEXT1) {
        if (HIWORD(wParam) == EN_CHANGE && !g.loading) g.bModified = true;
        return TRUE;
      }
      if (ui::ActionScope::Busy()) return TRUE;
      ui::ActionScope action;
      switch (LOWORD(wParam)) {
        case IDC_FORM11_OPTION1:
          if (HIWORD(wParam) == BN_CLICKED) ChooseList(List::Md5);
          break;
        case IDC_FORM11_OPTION2:
          if (HIWORD(wParam) == BN_CLICKED) ChooseList(List::Sha256);
          break;
        case IDC_FORM11_COMMAND1:
          if (HIWORD(wParam) == BN_CLICKED && SaveOrSay(L"")) Ask(L"File Saved!", MB_OK);
          break;
        case IDCANCEL:
          Unload(dialog);
          break;
      }
      return TRUE;
    }
  }
  return FALSE;
}

// Unload ends the window itself, once the changes are saved or given up.
bool HashListEditor::MayClose() {
  if (!ui::ActionScope::Busy()) {
    ui::ActionScope action;
    Unload(Window());
  }
  return false;
}

}  // namespace

void Form11::Show() {
  Dialog().Show();
}
