#include "engine/RuleSets.h"

namespace RuleSets {

namespace {

struct Row {
  Choice option;
  std::vector<const wchar_t*> everyWindows;
  std::vector<const wchar_t*> vistaOrLater;
  std::vector<const wchar_t*> earlier;
};

const std::vector<Row>& Table() {
  static const std::vector<Row> rows = {
      {Choice::Appdata,
       {L"%appdata%\\*."},
       {L"%userprofile%\\AppData\\Roaming\\*.", L"%userprofile%\\AppData\\*."},
       {L"%allusersprofile%\\Application Data\\*.", L"%userprofile%\\Application Data\\*."}},
      {Choice::AppdataDeep,
       {L"%appdata%\\*\\*."},
       {L"%userprofile%\\AppData\\Roaming\\*\\*."},
       {L"%allusersprofile%\\Application Data\\*\\*.", L"%userprofile%\\Application Data\\*\\*."}},
      {Choice::AppdataLocal,
       {},
       {L"%userprofile%\\AppData\\Local\\*.", L"%userprofile%\\AppData\\LocalLow\\*.",
        L"%userprofile%\\AppData\\LocalLow\\*\\*."},
       {L"%allusersprofile%\\Local Settings\\Application Data\\*.",
        L"%allusersprofile%\\Local Settings\\Application Data\\*\\*.",
        L"%userprofile%\\Local Settings\\Application Data\\*.",
        L"%userprofile%\\Local Settings\\Application Data\\*\\*."}},
      {Choice::RecycleBin,
       {},
       {L"*:\\$Recycle.Bin\\*\\*.", L"*:\\$Recycle.Bin\\*\\*\\*.", L"*:\\$Recycle.Bin\\*\\*\\*\\*."},
       {L"*:\\RECYCLER\\*\\*.", L"*:\\RECYCLER\\*\\*\\*.", L"*:\\RECYCLER\\*\\*\\*\\*."}},
      {Choice::StartupFolder,
       {},
       {L"%programdata%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\*.",
        L"%userprofile%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\*."},
       {L"%allusersprofile%\\Start Menu\\Programs\\Startup\\*.", L"%userprofile%\\Start Menu\\Programs\\Startup\\*."}},
      {Choice::ProgramData, {}, {L"%programdata%\\*."}, {}},
  };
  return rows;
}

// Folders inside the temporary folder into which archive tools extract programs.
const wchar_t* const kArchiveFolders[] = {L"\\wz*\\*.", L"\\*.zip\\*.", L"\\7z*\\*.", L"\\rar*\\*."};

}  // namespace

std::vector<std::wstring> OptionRules(Choice option, bool vistaOrLater, const std::wstring& extension,
                                      const std::wstring& profilesFolder) {
  std::vector<std::wstring> rules;
  if (option == Choice::UserProfile) {
    rules.push_back(L"%userprofile%\\*." + extension);
    // The profiles folder is written literally; without one there is no rule (never "\*.exe").
    if (extension != L"com" && !profilesFolder.empty()) rules.push_back(profilesFolder + L"\\*." + extension);
    rules.push_back(L"%allusersprofile%\\*." + extension);
    return rules;
  }
  if (option == Choice::TempArchives) {
    std::wstring base = vistaOrLater ? L"%userprofile%\\AppData\\Local\\Temp" : L"%userprofile%\\Local Settings\\Temp";
    for (const wchar_t* folder : kArchiveFolders) rules.push_back(base + folder + extension);
    return rules;
  }
  for (const Row& row : Table()) {
    if (row.option != option) continue;
    for (const wchar_t* pattern : row.everyWindows) rules.push_back(pattern + extension);
    for (const wchar_t* pattern : vistaOrLater ? row.vistaOrLater : row.earlier) rules.push_back(pattern + extension);
  }
  return rules;
}

std::vector<std::wstring> FakeExtensionRules(const std::wstring& fakeExtension) {
  std::vector<std::wstring> rules;
  for (const wchar_t* tail : {L"*.exe", L"*.com", L"*.scr", L"*.pif"}) rules.push_back(L"*." + fakeExtension + tail);
  return rules;
}

}  // namespace RuleSets
